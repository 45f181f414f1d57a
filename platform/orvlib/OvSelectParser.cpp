#include "orvlib/OvSelectParser.h"
#include "orvlib/OvSQLLexer.h"

#include <vector>

namespace {

using Tok = TOvSQLToken;

bool isOneOf(const Tok &T, std::initializer_list<const char *> Keywords)
{
    for (const char *k : Keywords) {
        if (T.isKeyword(k))
            return true;
    }
    return false;
}

// Words that end the from clause or a table reference, or join tables.
bool isClauseWord(const Tok &T)
{
    return isOneOf(T, {"where",   "group",     "having", "order",   "limit",  "offset", "fetch",
                       "union",   "intersect", "except", "minus",   "window", "for",    "returning",
                       "join",    "inner",     "left",   "right",   "full",   "outer",  "cross",
                       "natural", "on",        "using",  "lateral", "into",   "with",   "plan",
                       "rows",    "option",    "qualify"});
}

// Words that are values or syntax, never a column name or an implicit alias.
bool isValueWord(const Tok &T)
{
    return isOneOf(T, {"null",
                       "true",
                       "false",
                       "end",
                       "current_date",
                       "current_time",
                       "current_timestamp",
                       "localtime",
                       "localtimestamp",
                       "distinct",
                       "all",
                       "from",
                       "as",
                       "and",
                       "or",
                       "not",
                       "is",
                       "in",
                       "like",
                       "between",
                       "case",
                       "when",
                       "then",
                       "else",
                       "collate",
                       "escape",
                       "asc",
                       "desc",
                       "over"});
}

class Parser
{
public:
    explicit Parser(const QString &SQL)
        : m_sql(SQL)
    {
        TOvSQLLexer lexer(SQL);
        for (Tok t = lexer.Next(); t.kind != Tok::End; t = lexer.Next())
            m_toks.push_back(std::move(t));
        m_end.pos = SQL.size();
    }

    TOvSelectInfo run()
    {
        TOvSelectInfo info;
        skipOpenParens();
        if (cur().isKeyword("with"))
            skipWith();
        skipOpenParens();
        if (!cur().isKeyword("select"))
            return info;
        info.isSelect = true;
        ++m_i;
        skipSetQuantifier();
        parseSelectList(info);
        if (cur().isKeyword("from")) {
            ++m_i;
            parseFromList(info, 0);
        }
        return info;
    }

private:
    const Tok &at(size_t i) const { return i < m_toks.size() ? m_toks[i] : m_end; }
    const Tok &cur() const { return at(m_i); }
    bool atEnd() const { return m_i >= m_toks.size(); }

    void skipOpenParens()
    {
        while (cur().isSymbol('('))
            ++m_i;
    }

    // From an opening parenthesis to just after its partner (or the end).
    void skipParens()
    {
        int depth = 0;
        do {
            if (cur().isSymbol('('))
                ++depth;
            else if (cur().isSymbol(')'))
                --depth;
            ++m_i;
        } while (!atEnd() && depth > 0);
    }

    // with [recursive] name [(cols)] as [not] [materialized] (...) [, ...]
    void skipWith()
    {
        ++m_i;
        if (cur().isKeyword("recursive"))
            ++m_i;
        while (!atEnd()) {
            if (cur().isName())
                ++m_i;
            if (cur().isSymbol('('))
                skipParens();
            if (cur().isKeyword("as"))
                ++m_i;
            while (cur().isKeyword("not") || cur().isKeyword("materialized"))
                ++m_i;
            if (cur().isSymbol('('))
                skipParens();
            if (!cur().isSymbol(','))
                break;
            ++m_i;
        }
    }

    void skipSetQuantifier()
    {
        if (cur().isKeyword("distinct")) {
            ++m_i;
            if (cur().isKeyword("on") && at(m_i + 1).isSymbol('(')) {
                ++m_i;
                skipParens();
            }
        } else if (cur().isKeyword("all")) {
            ++m_i;
        }
        if (cur().isKeyword("top")) { // top n [percent]
            ++m_i;
            if (cur().isSymbol('('))
                skipParens();
            else
                ++m_i;
            if (cur().isKeyword("percent"))
                ++m_i;
        }
    }

    void parseSelectList(TOvSelectInfo &Info)
    {
        while (!atEnd() && !cur().isKeyword("from")) {
            const size_t first = m_i;
            int depth = 0;
            while (!atEnd()) {
                const Tok &t = cur();
                if (depth == 0
                    && (t.isSymbol(',') || t.isKeyword("from") || t.isSymbol(';') || t.isSymbol(')')
                        || isOneOf(t, {"union", "intersect", "except", "into"})))
                    break;
                if (t.isSymbol('('))
                    ++depth;
                else if (t.isSymbol(')'))
                    --depth;
                ++m_i;
            }
            if (m_i > first)
                Info.fields.append(selectItem(first, m_i));
            if (!cur().isSymbol(','))
                break;
            ++m_i;
        }
        // into ... (a select into) ends the list too; the from clause follows.
        if (cur().isKeyword("into")) {
            while (!atEnd() && !cur().isKeyword("from"))
                ++m_i;
        }
    }

    TOvSelectInfo::Field selectItem(size_t First, size_t Last) const
    {
        TOvSelectInfo::Field f;
        f.text = m_sql.mid(at(First).pos, at(Last - 1).pos + at(Last - 1).len - at(First).pos);
        size_t exprEnd = Last;
        // Explicit alias: ... as name; implicit: ... name after a value.
        if (Last - First >= 2 && at(Last - 1).isName() && at(Last - 2).isKeyword("as")) {
            f.name = at(Last - 1).text;
            exprEnd = Last - 2;
        } else if (Last - First >= 2 && at(Last - 1).isName() && !isValueWord(at(Last - 1))) {
            const Tok &prev = at(Last - 2);
            const bool prevEndsValue = prev.isSymbol(')') || prev.kind == Tok::String
                                       || prev.kind == Tok::Number || prev.kind == Tok::Param
                                       || (prev.isName() && !isValueWord(prev));
            if (prevEndsValue) {
                f.name = at(Last - 1).text;
                exprEnd = Last - 1;
            }
        }
        // A column reference is name(.name)* ending in a name, or in "*".
        std::vector<QString> parts;
        bool star = false;
        bool columnRef = true;
        for (size_t i = First; i < exprEnd && columnRef; ++i) {
            const bool expectName = (i - First) % 2 == 0;
            const Tok &t = at(i);
            if (expectName && t.isName() && !(t.kind == Tok::Ident && isValueWord(t)))
                parts.push_back(t.text);
            else if (expectName && t.isSymbol('*') && i + 1 == exprEnd)
                star = true;
            else if (!expectName && t.isSymbol('.'))
                continue;
            else
                columnRef = false;
        }
        if (exprEnd == First || (exprEnd - First) % 2 == 0)
            columnRef = false;
        if (!columnRef || parts.size() > 4)
            return f;
        if (star) {
            f.star = true;
            f.qualifier = QStringList(parts.begin(), parts.end()).join(QLatin1Char('.'));
            return f;
        }
        f.column = parts.back();
        parts.pop_back();
        f.qualifier = QStringList(parts.begin(), parts.end()).join(QLatin1Char('.'));
        if (f.name.isEmpty())
            f.name = f.column;
        return f;
    }

    // A list of table references joined by "," or joins, up to the end of
    // the from clause (or the closing parenthesis of a parenthesized join).
    void parseFromList(TOvSelectInfo &Info, int Depth)
    {
        while (!atEnd()) {
            parseTableRef(Info, Depth);
            // join conditions and join words up to the next table
            bool more = false;
            while (!atEnd()) {
                const Tok &t = cur();
                if (t.isSymbol(',')) {
                    ++m_i;
                    more = true;
                    break;
                }
                if (t.isKeyword("join")) {
                    ++m_i;
                    more = true;
                    break;
                }
                if (t.isSymbol('(')) {
                    skipParens();
                    continue;
                }
                if (t.isSymbol(')') || t.isSymbol(';'))
                    return;
                if (isOneOf(t, {"where", "group", "having", "order", "limit", "offset", "fetch",
                                "union", "intersect", "except", "minus", "window", "for",
                                "returning", "qualify"}))
                    return;
                ++m_i; // on/using conditions, inner/left/outer/cross/natural words
            }
            if (!more)
                return;
        }
    }

    void parseTableRef(TOvSelectInfo &Info, int Depth)
    {
        while (cur().isKeyword("lateral") || cur().isKeyword("only"))
            ++m_i;
        if (cur().isSymbol('(')) {
            const Tok &next = at(m_i + 1);
            if (next.isKeyword("select") || next.isKeyword("with") || next.isKeyword("values")
                || Depth > 64) {
                skipParens();
                TOvSelectInfo::Table t;
                t.alias = readAlias();
                Info.tables.append(t);
                return;
            }
            ++m_i; // a parenthesized join
            parseFromList(Info, Depth + 1);
            if (cur().isSymbol(')'))
                ++m_i;
            readAlias();
            return;
        }
        if (!cur().isName())
            return;
        QStringList parts{cur().text};
        ++m_i;
        while (cur().isSymbol('.') && at(m_i + 1).isName()) {
            parts << at(m_i + 1).text;
            m_i += 2;
        }
        TOvSelectInfo::Table t;
        if (cur().isSymbol('(')) { // a table function
            skipParens();
        } else {
            t.name = parts.join(QLatin1Char('.'));
        }
        t.alias = readAlias();
        if (cur().isSymbol('(') && !t.alias.isEmpty())
            skipParens(); // alias column list
        Info.tables.append(t);
    }

    QString readAlias()
    {
        if (cur().isKeyword("as")) {
            ++m_i;
            if (cur().isName())
                return at(m_i++).text;
            return QString();
        }
        if (cur().kind == Tok::QuotedIdent || (cur().kind == Tok::Ident && !isClauseWord(cur())))
            return at(m_i++).text;
        return QString();
    }

    const QString &m_sql;
    std::vector<Tok> m_toks;
    Tok m_end;
    size_t m_i = 0;
};

} // namespace

TOvSelectInfo ParseSelectStatement(const QString &SQL)
{
    return Parser(SQL).run();
}
