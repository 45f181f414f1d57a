// libFuzzer target for the select-statement reader behind
// TOvDataSet::ParseFieldInfoFromSQL, the parameter scanner and the script
// splitter: any text must parse without a crash, a hang or a sanitizer report.
// Build with -fsanitize=fuzzer,address,undefined and link OrvLib240.

#include "orvlib/DB.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvSQLLexer.h"
#include "orvlib/OvSelectParser.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char *>(Data), qsizetype(Size));

    TOvSQLLexer lexer(sql, QLatin1Char('&'));
    qsizetype last = -1;
    for (TOvSQLToken t = lexer.Next(); t.kind != TOvSQLToken::End; t = lexer.Next()) {
        if (t.pos <= last || t.len <= 0 || t.pos + t.len > sql.size())
            __builtin_trap(); // tokens advance and stay inside the text
        last = t.pos;
    }

    const TOvSelectInfo info = ParseSelectStatement(sql);
    (void)info;

    TOvQuery query;
    TStringList fields, tables, unresolved;
    query.ParseFieldInfoFromSQL(sql, &fields, &tables, &unresolved);

    TParams params;
    params.ParseSQL(sql, true);

    TOvScript script;
    script.SQL()->SetText(sql);
    (void)script.Statements();
    return 0;
}
