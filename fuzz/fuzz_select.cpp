// Fuzz target for the readers of SQL text: the tokenizer, the select-statement
// parser behind ParseFieldInfoFromSQL, the parameter scanner and the script
// splitter. Whatever the text, nothing crashes or hangs, tokens advance and
// stay inside the text, every view the parser returns lies inside the
// statement, and the field-origin and table lists hold only well-formed
// name=value entries.
#include "orvlib/DB.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvSQLLexer.h"
#include "orvlib/OvSelectParser.h"
#include "rtl/Classes.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool Ok, const char *What)
{
    if (!Ok) {
        std::fprintf(stderr, "fuzz_select: %s\n", What);
        std::abort();
    }
}

void checkEntries(const TStrings &List, const char *What)
{
    for (int i = 0; i < List.Count(); ++i) {
        const QString entry = List[i];
        const int eq = int(entry.indexOf(QLatin1Char('=')));
        check(eq > 0, What);
        check(eq + 1 < entry.size(), What);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char *>(Data), qsizetype(Size));

    TOvSQLLexer lexer(sql, QLatin1Char('&'));
    qsizetype last = -1;
    for (TOvSQLToken t = lexer.Next(); t.kind != TOvSQLToken::End; t = lexer.Next()) {
        check(t.pos > last && t.len > 0 && t.pos + t.len <= sql.size(),
              "a token does not advance or leaves the text");
        last = t.pos;
    }

    const TOvSelectInfo info = ParseSelectStatement(sql);
    const QChar *begin = sql.constData();
    const QChar *end = begin + sql.size();
    for (const TOvSelectInfo::Field &f : info.fields) {
        if (f.text.isEmpty())
            continue;
        check(f.text.data() >= begin && f.text.data() + f.text.size() <= end,
              "a field's text lies outside the statement");
    }

    // The query has no database: origins come from the text alone.
    TOvQuery query;
    TStringList fieldInfo, tableInfo, unresolved;
    query.ParseFieldInfoFromSQL(sql, &fieldInfo, &tableInfo, &unresolved);
    checkEntries(fieldInfo, "a field-origin entry is not name=value");
    checkEntries(tableInfo, "a table entry is not name=value");

    // Parsing twice gives the same answer.
    TStringList again;
    query.ParseFieldInfoFromSQL(sql, &again, nullptr, nullptr);
    check(again.toStringList() == fieldInfo.toStringList(), "parsing is not repeatable");

    TParams params;
    params.ParseSQL(sql, true);

    TOvScript script;
    script.SQL()->SetText(sql);
    (void)script.Statements();
    return 0;
}
