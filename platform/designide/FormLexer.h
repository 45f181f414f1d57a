#pragma once

#include <QString>

// The tokens of a form file. Private to the form reader.
namespace formfile {

enum class TokenKind {
    End,        // end of text
    Identifier, // letters, digits, "_" and inner "." (SQL.Strings)
    Integer,    // decimal or $hex, with an optional sign
    Float,      // a number with "." or an exponent
    String,     // one or more quoted parts and #nn escapes, already decoded
    Binary,     // {hex digits}, possibly over several lines: the digits alone
    Symbol      // one of = : [ ] ( ) < > , +
};

struct Token
{
    TokenKind Kind = TokenKind::End;
    QString Text;        // identifier, number text, decoded string, or the symbol
    int Line = 1;        // from 1
    int Column = 1;      // from 1
    qsizetype Start = 0; // where it starts in the text
    qsizetype End = 0;   // where it ends (after its last character)
    bool is(QChar Symbol) const
    {
        return Kind == TokenKind::Symbol && Text.size() == 1 && Text[0] == Symbol;
    }
    // Keywords compare without regard to letter case.
    bool isWord(const char *Word) const
    {
        return Kind == TokenKind::Identifier
               && Text.compare(QLatin1String(Word), Qt::CaseInsensitive) == 0;
    }
};

// Splits a form text into tokens; raises EFormError at the first character
// that starts no token.
class Lexer
{
public:
    Lexer(const QString &Text, const QString &FileName);
    // The next token (End for ever once the text is used up).
    Token next();
    [[noreturn]] void fail(const QString &Message, int Line, int Column) const;
    // Whether a quoted string so far held a character above ASCII as is.
    bool sawRawNonAscii() const { return m_rawNonAscii; }

private:
    QChar peek(int Ahead = 0) const;
    void advance();
    void skipBlanks();
    Token nextToken();
    Token readString();
    Token readNumber();
    Token readBinary();

    const QString &m_text;
    const QString &m_fileName;
    qsizetype m_pos = 0;
    bool m_rawNonAscii = false;
    int m_line = 1;
    int m_column = 1;
};

} // namespace formfile
