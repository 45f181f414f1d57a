// Fuzz target for the form-file reader: whatever the bytes, reading never
// crashes or hangs; it either builds a form or reports an error with a line
// and column inside the text. A form it builds is written, and what is
// written reads back and writes again to the same text.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    registerOnce();
    const QString text
        = QString::fromUtf8(reinterpret_cast<const char *>(Data), static_cast<qsizetype>(Size));
    std::unique_ptr<QObject> root;
    try {
        root = TFormReader(text).Read();
    } catch (const EFormError &e) {
        const qsizetype lines = text.count(QLatin1Char('\n')) + 1;
        check(e.Line() >= 1 && e.Line() <= lines, "error line outside the text");
        check(e.Column() >= 1, "error column before the line");
        return 0;
    }
    QString written;
    try {
        written = WriteFormText(root.get());
    } catch (const EFormError &) {
        return 0; // a value no form can hold (a number that is not finite)
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
