// Fuzz target for the form-file reader: whatever the bytes, reading never
// crashes or hangs; it either builds a form or reports an error with a line
// and column inside the text. A form it builds can always be written, and
// what is written reads back to the same module (it writes again to the same
// text).
#include "designide/FormFile.h"
#include "orvlib/DB.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool Ok, const char *What)
{
    if (!Ok) {
        std::fprintf(stderr, "fuzz_form: %s\n", What);
        std::abort();
    }
}

// The runtime components a form names, and the environment's data source.
void registerOnce()
{
    static const bool done = [] {
        RegisterClasses({&TOvSession::staticMetaObject, &TOvDatabase::staticMetaObject,
                         &TOvQuery::staticMetaObject, &TOvMacroQuery::staticMetaObject,
                         &TOvStoredProc::staticMetaObject, &TOvTable::staticMetaObject,
                         &TOvUpdateSQL::staticMetaObject, &TOvScript::staticMetaObject,
                         &TOvMonitor::staticMetaObject, &TOvSQLBaseServer::staticMetaObject,
                         &TDataSource::staticMetaObject});
        return true;
    }();
    (void)done;
}

// The lines of Text as the reader counts them: LF, CR LF and a lone CR each
// end one.
qsizetype lineCount(const QString &Text)
{
    qsizetype lines = 1;
    for (qsizetype i = 0; i < Text.size(); ++i)
        if (Text[i] == QLatin1Char('\n')
            || (Text[i] == QLatin1Char('\r')
                && (i + 1 == Text.size() || Text[i + 1] != QLatin1Char('\n'))))
            ++lines;
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    registerOnce();
    // Decoded as a form file's bytes are.
    const QString text = DecodeFormFileBytes(
        QByteArray(reinterpret_cast<const char *>(Data), static_cast<qsizetype>(Size)));
    std::unique_ptr<QObject> root;
    try {
        root = TFormReader(text).Read();
    } catch (const EFormError &e) {
        check(e.Line() >= 1 && e.Line() <= lineCount(text), "error line outside the text");
        check(e.Column() >= 1, "error column before the line");
        return 0;
    }
    // Whatever was read can be written: a value no form can hold is refused
    // by the reader, never by a later save.
    QString written;
    try {
        written = WriteFormText(root.get());
    } catch (const EFormError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        check(false, "a form read cannot be written");
    }
    std::unique_ptr<QObject> again;
    try {
        again = TFormReader(written).Read();
    } catch (const EFormError &e) {
        std::fprintf(stderr, "%s\n--- written:\n%s\n", qPrintable(e.Message()),
                     qPrintable(written));
        check(false, "a written form does not read back");
    }
    check(WriteFormText(again.get()) == written, "writing a form read back changes it");
    return 0;
}
