#pragma once

#include <QString>

// A tokenizer for SQL text as both servers write it: identifiers, quoted
// identifiers ("x", `x`, [x]), string literals ('it''s', E'..', $tag$..$tag$),
// numbers, parameter markers (:name), macro markers (&name, when asked for),
// symbols. Blanks and comments (-- to the end of the line, /* */ nested as
// PostgreSQL nests them) are skipped. It never fails: an unterminated
// literal or comment runs to the end of the text.
struct TOvSQLToken
{
    enum Kind { End, Ident, QuotedIdent, String, Number, Param, Macro, Symbol };
    Kind kind = End;
    qsizetype pos = 0; // offset in the text
    qsizetype len = 0; // length in the text
    // The token as written; valid while the text given to the lexer lives.
    QStringView raw;
    // QuotedIdent: the name without its quotes; String: the literal's value;
    // Param and Macro: the name. Empty for the other kinds.
    QString value;

    // Ident, Number, Symbol: the token as written; the others: value.
    QString text() const
    {
        return kind == Ident || kind == Number || kind == Symbol ? raw.toString() : value;
    }
    bool isSymbol(char C) const
    {
        return kind == Symbol && raw.size() == 1 && raw.at(0) == QLatin1Char(C);
    }
    // An unquoted identifier equal to Keyword, ignoring letter case.
    bool isKeyword(const char *Keyword) const
    {
        return kind == Ident && raw.compare(QLatin1String(Keyword), Qt::CaseInsensitive) == 0;
    }
    bool isName() const { return kind == Ident || kind == QuotedIdent; }
};

class TOvSQLLexer
{
public:
    // MacroChar: the character that starts a macro marker, or a null QChar for none.
    explicit TOvSQLLexer(const QString &Text, QChar MacroChar = QChar());
    TOvSQLToken Next();

private:
    QChar at(qsizetype i) const { return i < m_text.size() ? m_text.at(i) : QChar(); }
    void skipBlanksAndComments();
    qsizetype identEnd(qsizetype From) const;

    const QString m_text; // shared copy: callers may pass a temporary
    QChar m_macroChar;
    qsizetype m_pos = 0;
};

// Whether C may start an unquoted identifier, and whether it may continue one.
// Every character past ASCII counts as a letter, so only ASCII is tested:
// the lexer asks this of every character of a name.
inline bool isSQLIdentStart(QChar C)
{
    const char16_t u = C.unicode();
    return u >= 0x80 || char16_t((u | 0x20) - u'a') < 26 || u == u'_';
}
inline bool isSQLIdentChar(QChar C)
{
    const char16_t u = C.unicode();
    return isSQLIdentStart(C) || char16_t(u - u'0') < 10 || u == u'$';
}

// Whether SQL starts as a query a cursor can read (select, with, values,
// table or a parenthesis); the server has the last word, this only spares it
// the obvious cases.
bool LooksLikeQuery(const QString &SQL);
