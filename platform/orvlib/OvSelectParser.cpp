#include "orvlib/OvSelectParser.h"
#include "orvlib/OvSQLLexer.h"

#include <QSet>

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// A token with its keyword bit (0 for anything but a keyword).
struct Tok : TOvSQLToken
{
    uint64_t bits = 0;
};

// The keywords the reader looks at, one bit each: every identifier is
// classified once, so tests against sets of keywords cost one AND.
constexpr std::string_view kKeywords[] = {"all",
                                          "and",
                                          "as",
                                          "asc",
                                          "between",
                                          "case",
                                          "collate",
                                          "cross",
                                          "current_date",
                                          "current_time",
                                          "current_timestamp",
                                          "desc",
                                          "distinct",
                                          "else",
                                          "end",
                                          "escape",
                                          "except",
                                          "false",
                                          "fetch",
                                          "for",
                                          "from",
                                          "full",
                                          "group",
                                          "having",
                                          "in",
                                          "inner",
                                          "intersect",
                                          "into",
                                          "is",
                                          "join",
                                          "lateral",
                                          "left",
                                          "like",
                                          "limit",
                                          "materialized",
                                          "minus",
                                          "natural",
                                          "not",
                                          "null",
                                          "offset",
                                          "on",
                                          "only",
                                          "or",
                                          "order",
                                          "outer",
                                          "over",
                                          "percent",
                                          "qualify",
                                          "recursive",
                                          "returning",
                                          "right",
                                          "select",
                                          "then",
                                          "top",
                                          "true",
                                          "union",
                                          "using",
                                          "values",
                                          "when",
                                          "where",
                                          "window",
                                          "with"};
static_assert(std::size(kKeywords) <= 64);

consteval uint64_t K(std::string_view Word)
{
    for (size_t i = 0; i < std::size(kKeywords); ++i) {
        if (kKeywords[i] == Word)
            return uint64_t(1) << i;
    }
    throw "not a keyword of the reader";
}

// The keyword bit of an identifier, or 0.
uint64_t keywordBit(QStringView Word)
{
    static const std::unordered_map<std::string_view, uint64_t> table = [] {
        std::unordered_map<std::string_view, uint64_t> t;
        for (size_t i = 0; i < std::size(kKeywords); ++i)
            t.emplace(kKeywords[i], uint64_t(1) << i);
        return t;
    }();
    char buf[24];
    if (Word.size() < 2 || Word.size() >= qsizetype(sizeof buf))
        return 0;
    for (qsizetype i = 0; i < Word.size(); ++i) {
        const char16_t c = Word.at(i).unicode();
        if (c >= 0x80 || (c >= '0' && c <= '9'))
            return 0; // no keyword holds a digit or a non-ASCII letter
        buf[i] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    const auto it = table.find(std::string_view(buf, size_t(Word.size())));
    return it == table.end() ? 0 : it->second;
}

// Words that end the from clause or a table reference, or join tables.
constexpr uint64_t kClauseWords
    = K("where") | K("group") | K("having") | K("order") | K("limit") | K("offset") | K("fetch")
      | K("union") | K("intersect") | K("except") | K("minus") | K("window") | K("for")
      | K("returning") | K("join") | K("inner") | K("left") | K("right") | K("full") | K("outer")
      | K("cross") | K("natural") | K("on") | K("using") | K("lateral") | K("into") | K("with")
      | K("qualify");

// Words that are values or syntax, never a column name or an implicit alias.
constexpr uint64_t kValueWords
    = K("null") | K("true") | K("false") | K("end") | K("current_date") | K("current_time")
      | K("current_timestamp") | K("distinct") | K("all") | K("from") | K("as") | K("and") | K("or")
      | K("not") | K("is") | K("in") | K("like") | K("between") | K("case") | K("when") | K("then")
      | K("else") | K("collate") | K("escape") | K("asc") | K("desc") | K("over");

class Parser
{
public:
    // Tokens are read on demand and dropped once the reader has passed
    // them (see release), so memory stays bounded by the longest item.
    explicit Parser(const QString &SQL)
        : m_sql(SQL)
        , m_lexer(SQL)
    {
        m_end.pos = SQL.size();
    }

    TOvSelectInfo run()
    {
        skipOpenParens();
        if (is(cur(), K("with")))
            skipWith();
        skipOpenParens();
        if (!is(cur(), K("select")))
            return std::move(m_info);
        m_info.isSelect = true;
        ++m_i;
        skipSetQuantifier();
        parseSelectList(m_info);
        if (is(cur(), K("from"))) {
            ++m_i;
            parseFromList(m_info, 0);
        }
        return std::move(m_info);
    }

private:
    // The name a token stands for, as a view: into the text for an
    // identifier or a quoted name without doubled quotes, else into storage.
    QStringView nameOf(const Tok &T)
    {
        if (T.kind != Tok::QuotedIdent)
            return T.raw;
        const QStringView inner = T.raw.mid(1, T.value.size());
        return inner == T.value ? inner : keep(T.value);
    }
    // A part of a name as written; a quoted one in double quotes, whatever
    // quotes it was written in, with inner double quotes doubled.
    static QString writtenPart(const Tok &T)
    {
        if (T.kind != Tok::QuotedIdent)
            return T.raw.toString();
        QString part = T.value;
        part.replace(QLatin1String("\""), QLatin1String("\"\""));
        return QLatin1Char('"') + part + QLatin1Char('"');
    }
    QStringView keep(QString Text)
    {
        m_info.storage.push_back(std::move(Text));
        return m_info.storage.back();
    }

    // Whether T is one of the keywords of Mask.
    static bool is(const Tok &T, uint64_t Mask) { return (T.bits & Mask) != 0; }

    // The token at absolute position i; the end token past the text.
    // Reading further tokens may move the buffered ones: no reference to a
    // token is held across a call that reads on.
    // The usual case, a token already read, stays in the caller; reading on
    // is a call of its own.
    Q_ALWAYS_INLINE const Tok &at(size_t i)
    {
        if (i >= m_base && i - m_base < m_toks.size())
            return m_toks[i - m_base];
        return readOn(i);
    }
    Q_NEVER_INLINE const Tok &readOn(size_t i)
    {
        while (!m_lexDone && m_base + m_toks.size() <= i) {
            Tok t;
            static_cast<TOvSQLToken &>(t) = m_lexer.Next();
            if (t.kind == Tok::End) {
                m_lexDone = true;
                break;
            }
            t.bits = t.kind == Tok::Ident ? keywordBit(t.raw) : 0;
            m_toks.push_back(std::move(t));
        }
        return i >= m_base && i - m_base < m_toks.size() ? m_toks[i - m_base] : m_end;
    }
    const Tok &cur() { return at(m_i); }
    bool atEnd() { return at(m_i).kind == Tok::End; }
    // Drops the tokens before the current one: nothing looks back past it.
    void release()
    {
        const size_t drop = std::min(m_i - m_base, m_toks.size());
        if (drop == 0)
            return;
        m_toks.erase(m_toks.begin(), m_toks.begin() + std::ptrdiff_t(drop));
        m_base += drop;
    }

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
    // The names are kept: in the from clause they name no table.
    void skipWith()
    {
        ++m_i;
        if (is(cur(), K("recursive")))
            ++m_i;
        while (!atEnd()) {
            if (cur().isName()) {
                m_cteNames.insert(nameOf(cur()).toString().toCaseFolded());
                ++m_i;
            }
            if (cur().isSymbol('('))
                skipParens();
            if (is(cur(), K("as")))
                ++m_i;
            while (is(cur(), K("not")) || is(cur(), K("materialized")))
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
        if (is(cur(), K("distinct"))) {
            ++m_i;
            if (is(cur(), K("on")) && at(m_i + 1).isSymbol('(')) {
                ++m_i;
                skipParens();
            }
        } else if (is(cur(), K("all"))) {
            ++m_i;
        }
        if (is(cur(), K("top"))) { // top n [percent]
            ++m_i;
            if (cur().isSymbol('('))
                skipParens();
            else
                ++m_i;
            if (is(cur(), K("percent")))
                ++m_i;
        }
    }

    void parseSelectList(TOvSelectInfo &Info)
    {
        while (!atEnd() && !is(cur(), K("from"))) {
            release();
            const size_t first = m_i;
            int depth = 0;
            for (;;) {
                const Tok &t = cur();
                if (t.kind == Tok::End)
                    break;
                if (depth == 0
                    && (t.isSymbol(',') || t.isSymbol(';') || t.isSymbol(')')
                        || is(t,
                              K("from") | K("union") | K("intersect") | K("except") | K("into"))))
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
        if (is(cur(), K("into"))) {
            while (!atEnd() && !is(cur(), K("from")))
                ++m_i;
        }
    }

    TOvSelectInfo::Field selectItem(size_t First, size_t Last)
    {
        TOvSelectInfo::Field f;
        f.text = QStringView(m_sql).mid(at(First).pos,
                                        at(Last - 1).pos + at(Last - 1).len - at(First).pos);
        size_t exprEnd = Last;
        // Explicit alias: ... as name; implicit: ... name after a value.
        if (Last - First >= 2 && at(Last - 1).isName() && is(at(Last - 2), K("as"))) {
            f.name = nameOf(at(Last - 1));
            exprEnd = Last - 2;
        } else if (Last - First >= 2 && at(Last - 1).isName() && !is(at(Last - 1), kValueWords)) {
            const Tok &prev = at(Last - 2);
            const bool prevEndsValue = prev.isSymbol(')') || prev.kind == Tok::String
                                       || prev.kind == Tok::Number || prev.kind == Tok::Param
                                       || (prev.isName() && !is(prev, kValueWords));
            if (prevEndsValue) {
                f.name = nameOf(at(Last - 1));
                exprEnd = Last - 1;
            }
        }
        // A column reference is name(.name)* ending in a name, or in "*";
        // check the shape first, build strings only for a reference.
        const size_t count = exprEnd - First;
        if (count == 0 || count % 2 == 0 || count > 7)
            return f;
        for (size_t i = First; i < exprEnd; ++i) {
            const Tok &t = at(i);
            const bool ok = (i - First) % 2 == 1 ? t.isSymbol('.')
                                                 : (t.isName() && !is(t, kValueWords))
                                                       || (t.isSymbol('*') && i + 1 == exprEnd);
            if (!ok)
                return f;
        }
        const size_t lastName = exprEnd - 1;
        if (lastName == First + 2) {
            f.qualifier = nameOf(at(First));
        } else if (lastName > First) {
            QString joined = nameOf(at(First)).toString();
            for (size_t i = First + 2; i < lastName; i += 2) {
                joined += QLatin1Char('.');
                joined += nameOf(at(i));
            }
            f.qualifier = keep(std::move(joined));
        }
        if (at(lastName).isSymbol('*')) {
            f.star = true;
            return f;
        }
        f.column = nameOf(at(lastName));
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
                if (is(t, K("join"))) {
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
                if (is(t, K("where") | K("group") | K("having") | K("order") | K("limit")
                              | K("offset") | K("fetch") | K("union") | K("intersect") | K("except")
                              | K("minus") | K("window") | K("for") | K("returning")
                              | K("qualify")))
                    return;
                ++m_i; // on/using conditions, inner/left/outer/cross/natural words
                release();
            }
            if (!more)
                return;
        }
    }

    void parseTableRef(TOvSelectInfo &Info, int Depth)
    {
        release();
        while (is(cur(), K("lateral")) || is(cur(), K("only")))
            ++m_i;
        if (cur().isSymbol('(')) {
            const Tok &next = at(m_i + 1);
            if (is(next, K("select")) || is(next, K("with")) || is(next, K("values"))
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
        // The name twice: quotes removed (to match qualifiers) and as
        // written (to name the table again); each built only for several
        // parts or a quoted one.
        const size_t start = m_i;
        QStringView first = nameOf(cur());
        QStringView last = first;
        bool quoted = cur().kind == Tok::QuotedIdent;
        QString joined;
        ++m_i;
        while (cur().isSymbol('.') && at(m_i + 1).isName()) {
            if (joined.isEmpty())
                joined = first.toString();
            joined += QLatin1Char('.');
            last = nameOf(at(m_i + 1));
            joined += last;
            quoted = quoted || at(m_i + 1).kind == Tok::QuotedIdent;
            m_i += 2;
        }
        const size_t end = m_i;
        TOvSelectInfo::Table t;
        if (cur().isSymbol('(')) { // a table function
            skipParens();
        } else if (joined.isEmpty() && !m_cteNames.isEmpty()
                   && m_cteNames.contains(first.toString().toCaseFolded())) {
            // a common table expression: a subquery by another name
        } else {
            t.name = joined.isEmpty() ? first : keep(std::move(joined));
            t.text = t.name;
            if (quoted) {
                QString written;
                for (size_t i = start; i < end; i += 2)
                    written += (i > start ? QStringLiteral(".") : QString()) + writtenPart(at(i));
                t.text = keep(std::move(written));
            }
            t.object = last;
        }
        t.alias = readAlias();
        if (cur().isSymbol('(') && !t.alias.isEmpty())
            skipParens(); // alias column list
        Info.tables.append(t);
    }

    QStringView readAlias()
    {
        if (is(cur(), K("as"))) {
            ++m_i;
            if (cur().isName())
                return nameOf(at(m_i++));
            return {};
        }
        if (cur().kind == Tok::QuotedIdent
            || (cur().kind == Tok::Ident && !is(cur(), kClauseWords)))
            return nameOf(at(m_i++));
        return {};
    }

    const QString &m_sql;
    TOvSQLLexer m_lexer;
    TOvSelectInfo m_info;
    std::vector<Tok> m_toks; // tokens from position m_base on
    size_t m_base = 0;
    bool m_lexDone = false;
    Tok m_end;
    size_t m_i = 0;
    QSet<QString> m_cteNames; // case-folded
};

} // namespace

TOvSelectInfo ParseSelectStatement(const QString &SQL)
{
    return Parser(SQL).run();
}
