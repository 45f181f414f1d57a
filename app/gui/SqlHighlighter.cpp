#include "SqlHighlighter.h"

#include "orvlib/OvSQLLexer.h"

#include <QSet>
#include <QTextDocument>

#include <algorithm>

namespace {

const QSet<QString> &keywords()
{
    static const QSet<QString> set = [] {
        QSet<QString> s;
        for (const char *k :
             {"ADD",         "ALL",        "ALTER",     "AND",     "ANY",      "AS",
              "ASC",         "BEGIN",      "BETWEEN",   "BY",      "CALL",     "CASCADE",
              "CASE",        "CAST",       "CHECK",     "COLLATE", "COLUMN",   "COMMIT",
              "CONSTRAINT",  "CREATE",     "CROSS",     "DECLARE", "DEFAULT",  "DELETE",
              "DESC",        "DISTINCT",   "DO",        "DROP",    "ELSE",     "END",
              "ESCAPE",      "EXCEPT",     "EXECUTE",   "EXISTS",  "FALSE",    "FETCH",
              "FOR",         "FOREIGN",    "FROM",      "FULL",    "FUNCTION", "GRANT",
              "GROUP",       "HAVING",     "IF",        "IN",      "INDEX",    "INNER",
              "INSERT",      "INTERSECT",  "INTO",      "IS",      "JOIN",     "KEY",
              "LEFT",        "LIKE",       "LIMIT",     "NATURAL", "NOT",      "NULL",
              "OFFSET",      "ON",         "OR",        "ORDER",   "OUTER",    "PRIMARY",
              "PROCEDURE",   "REFERENCES", "RETURNING", "RETURNS", "REVOKE",   "RIGHT",
              "ROLLBACK",    "SELECT",     "SET",       "TABLE",   "THEN",     "TO",
              "TRANSACTION", "TRIGGER",    "TRUE",      "UNION",   "UNIQUE",   "UPDATE",
              "USING",       "VALUES",     "VIEW",      "WHEN",    "WHERE",    "WITH"})
            s.insert(QString::fromLatin1(k));
        return s;
    }();
    return set;
}

} // namespace

TSqlHighlighter::TSqlHighlighter(QTextDocument *Document)
    : QSyntaxHighlighter(static_cast<QObject *>(nullptr))
{
    m_formats[Keyword].setForeground(QColor(0, 0, 160));
    m_formats[Keyword].setFontWeight(QFont::Bold);
    m_formats[String].setForeground(QColor(0, 120, 0));
    m_formats[Comment].setForeground(QColor(128, 128, 128));
    m_formats[Comment].setFontItalic(true);
    m_formats[Parameter].setForeground(QColor(150, 0, 150));
    m_formats[Parameter].setFontWeight(QFont::Bold);
    m_formats[Number].setForeground(QColor(0, 110, 140));
    setParent(Document);
    // A document tells of its changes (contentsChange) only once it has a
    // layout; a view gives it one, a bare document gets the default here.
    Document->documentLayout();
    // Told before the highlighter itself: the lines it colours for a change
    // must see the text of that change.
    connect(Document, &QTextDocument::contentsChange, this, [this](int, int Removed, int Added) {
        if (Removed || Added)
            m_dirty = true;
    });
    setDocument(Document);
}

bool TSqlHighlighter::isKeyword(QStringView Word)
{
    return keywords().contains(Word.toString().toUpper());
}

void TSqlHighlighter::lex()
{
    m_dirty = false;
    ++m_lexCount;
    m_spans.clear();
    const QString text = document() ? document()->toPlainText() : QString();
    TOvSQLLexer lexer(text);
    qsizetype gapFrom = 0;
    const auto addGap = [&](qsizetype To) {
        // The lexer skips only blanks and comments: what is not blank
        // between two tokens is a comment.
        qsizetype from = gapFrom;
        while (from < To && text.at(from).isSpace())
            ++from;
        qsizetype to = To;
        while (to > from && text.at(to - 1).isSpace())
            --to;
        if (from < to)
            m_spans.push_back({int(from), int(to), Comment});
    };
    for (;;) {
        const TOvSQLToken t = lexer.Next();
        addGap(t.pos);
        if (t.kind == TOvSQLToken::End)
            break;
        Kind what = Plain;
        switch (t.kind) {
        case TOvSQLToken::String:
            what = String;
            break;
        case TOvSQLToken::Param:
            what = Parameter;
            break;
        case TOvSQLToken::Number:
            what = Number;
            break;
        case TOvSQLToken::Ident:
            what = isKeyword(t.raw) ? Keyword : Plain;
            break;
        default:
            break;
        }
        if (what != Plain)
            m_spans.push_back({int(t.pos), int(t.pos + t.len), what});
        gapFrom = t.pos + t.len;
    }
}

TSqlHighlighter::Kind TSqlHighlighter::kindAt(int Position)
{
    if (m_dirty)
        lex();
    const auto it = std::upper_bound(m_spans.begin(), m_spans.end(), Position,
                                     [](int P, const Span &S) { return P < S.End; });
    return it != m_spans.end() && it->Pos <= Position ? it->What : Plain;
}

void TSqlHighlighter::highlightBlock(const QString &Text)
{
    if (m_dirty)
        lex();
    const int start = currentBlock().position();
    const int end = start + static_cast<int>(Text.size());
    auto it = std::upper_bound(m_spans.begin(), m_spans.end(), start,
                               [](int P, const Span &S) { return P < S.End; });
    int state = 0;
    for (; it != m_spans.end() && it->Pos <= end; ++it) {
        if (it->Pos < end) {
            const int from = std::max(it->Pos, start);
            const int to = std::min(it->End, end);
            if (to > from)
                setFormat(from - start, to - from, m_formats[it->What]);
        }
        // A construct that goes on past the line: the next line's colours
        // depend on it, so the state names it (its kind and where it starts).
        if (it->Pos <= end && it->End > end)
            state = ((it->Pos * 8 + it->What) & 0x3fffffff) | 1;
    }
    setCurrentBlockState(state);
}
