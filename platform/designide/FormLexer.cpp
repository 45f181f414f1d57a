#include "FormLexer.h"

#include "FormFile.h"

namespace formfile {

namespace {

bool isIdentStart(QChar C)
{
    return C.isLetter() || C == QLatin1Char('_');
}

bool isIdentPart(QChar C)
{
    return C.isLetterOrNumber() || C == QLatin1Char('_');
}

} // namespace

Lexer::Lexer(const QString &Text, const QString &FileName)
    : m_text(Text)
    , m_fileName(FileName)
{}

void Lexer::fail(const QString &Message, int Line, int Column) const
{
    throw EFormError(QStringLiteral("%1(%2:%3): %4")
                         .arg(m_fileName.isEmpty() ? QStringLiteral("form") : m_fileName)
                         .arg(Line)
                         .arg(Column)
                         .arg(Message),
                     Line, Column);
}

QChar Lexer::peek(int Ahead) const
{
    const qsizetype at = m_pos + Ahead;
    return at < m_text.size() ? m_text[at] : QChar();
}

void Lexer::advance()
{
    // A line ends with LF, CR LF or a lone CR (files of old editors): the
    // CR of a CR LF pair is no line break of its own.
    const QChar c = m_text[m_pos];
    if (c == QLatin1Char('\n') || (c == QLatin1Char('\r') && peek(1) != QLatin1Char('\n'))) {
        ++m_line;
        m_column = 1;
    } else {
        ++m_column;
    }
    ++m_pos;
}

void Lexer::skipBlanks()
{
    while (m_pos < m_text.size()) {
        const QChar c = m_text[m_pos];
        // A byte-order mark at the start is no character of the text.
        if (c.isSpace() || (m_pos == 0 && c == QChar(0xFEFF)))
            advance();
        else
            break;
    }
}

Token Lexer::next()
{
    Token t = nextToken();
    t.End = m_pos;
    return t;
}

Token Lexer::nextToken()
{
    skipBlanks();
    Token t;
    t.Start = m_pos;
    t.Line = m_line;
    t.Column = m_column;
    if (m_pos >= m_text.size())
        return t;
    const QChar c = m_text[m_pos];
    if (isIdentStart(c)) {
        const qsizetype start = m_pos;
        advance();
        // A "." joins identifiers (SQL.Strings), never ends one.
        while (m_pos < m_text.size()
               && (isIdentPart(m_text[m_pos])
                   || (m_text[m_pos] == QLatin1Char('.') && isIdentStart(peek(1)))))
            advance();
        t.Kind = TokenKind::Identifier;
        t.Text = m_text.mid(start, m_pos - start);
        return t;
    }
    if (c == QLatin1Char('\'') || c == QLatin1Char('#'))
        return readString();
    if (c.isDigit() || c == QLatin1Char('$')
        || ((c == QLatin1Char('-') || c == QLatin1Char('+'))
            && (peek(1).isDigit() || peek(1) == QLatin1Char('$'))))
        return readNumber();
    if (QStringLiteral("=:[](),<>+").contains(c)) {
        advance();
        t.Kind = TokenKind::Symbol;
        t.Text = c;
        return t;
    }
    if (c == QLatin1Char('{'))
        return readBinary();
    fail(QStringLiteral("unexpected character \"%1\"").arg(c), m_line, m_column);
}

Token Lexer::readString()
{
    Token t;
    t.Start = m_pos;
    t.Kind = TokenKind::String;
    t.Line = m_line;
    t.Column = m_column;
    // Quoted parts and #nn escapes follow each other without blanks.
    for (;;) {
        const QChar c = peek();
        if (c == QLatin1Char('\'')) {
            const int line = m_line, column = m_column;
            advance();
            for (;;) {
                if (m_pos >= m_text.size() || peek() == QLatin1Char('\n')
                    || peek() == QLatin1Char('\r'))
                    fail(QStringLiteral("unterminated string"), line, column);
                if (peek() == QLatin1Char('\'')) {
                    advance();
                    if (peek() != QLatin1Char('\''))
                        break;
                    t.Text += QLatin1Char('\''); // a doubled quote stands for one
                    advance();
                    continue;
                }
                // The run up to the next quote or line end, in one piece (no
                // line break inside it, so only the column moves).
                qsizetype end = m_pos;
                while (end < m_text.size() && m_text[end] != QLatin1Char('\'')
                       && m_text[end] != QLatin1Char('\n') && m_text[end] != QLatin1Char('\r'))
                    ++end;
                const QStringView run = QStringView(m_text).mid(m_pos, end - m_pos);
                const qsizetype first = t.Text.size();
                t.Text += run;
                for (qsizetype i = first; i < t.Text.size(); ++i) {
                    const char16_t u = t.Text[i].unicode();
                    // A byte the file's UTF-8 could not read stands for its
                    // Latin-1 character.
                    if (u >= 0xDC80 && u <= 0xDCFF)
                        t.Text[i] = QChar(char16_t(u - 0xDC00));
                    else if (u >= 0x80)
                        m_rawNonAscii = true;
                }
                m_column += int(end - m_pos);
                m_pos = end;
            }
        } else if (c == QLatin1Char('#')) {
            const int line = m_line, column = m_column;
            advance();
            uint code = 0;
            int digits = 0;
            bool overflow = false;
            if (peek() == QLatin1Char('$')) {
                advance();
                while (m_pos < m_text.size() && peek().unicode() < 128
                       && isxdigit(peek().unicode())) {
                    code = code * 16 + QString(peek()).toUInt(nullptr, 16);
                    overflow |= code > 0xFFFF;
                    ++digits;
                    advance();
                }
            } else {
                while (m_pos < m_text.size() && peek().unicode() < 128 && peek().isDigit()) {
                    code = code * 10 + (peek().unicode() - '0');
                    overflow |= code > 0xFFFF;
                    ++digits;
                    advance();
                }
            }
            if (digits == 0)
                fail(QStringLiteral("character code expected after \"#\""), line, column);
            if (overflow)
                fail(QStringLiteral("character code out of range"), line, column);
            t.Text += QChar(char16_t(code));
        } else {
            break;
        }
    }
    return t;
}

Token Lexer::readBinary()
{
    Token t;
    t.Start = m_pos;
    t.Kind = TokenKind::Binary;
    t.Line = m_line;
    t.Column = m_column;
    advance();
    for (;;) {
        skipBlanks();
        if (m_pos >= m_text.size())
            fail(QStringLiteral("unterminated binary data"), t.Line, t.Column);
        const QChar c = peek();
        if (c == QLatin1Char('}')) {
            advance();
            break;
        }
        if (c.unicode() >= 128 || !isxdigit(c.unicode()))
            fail(QStringLiteral("hexadecimal digit expected in binary data"), m_line, m_column);
        t.Text += c;
        advance();
    }
    if (t.Text.size() % 2 != 0)
        fail(QStringLiteral("binary data with an odd number of hexadecimal digits"), t.Line,
             t.Column);
    return t;
}

Token Lexer::readNumber()
{
    Token t;
    t.Start = m_pos;
    t.Line = m_line;
    t.Column = m_column;
    const qsizetype start = m_pos;
    if (peek() == QLatin1Char('-') || peek() == QLatin1Char('+'))
        advance();
    if (peek() == QLatin1Char('$')) {
        advance();
        const qsizetype digits = m_pos;
        while (m_pos < m_text.size() && peek().unicode() < 128 && isxdigit(peek().unicode()))
            advance();
        if (m_pos == digits)
            fail(QStringLiteral("hexadecimal digits expected"), t.Line, t.Column);
        t.Kind = TokenKind::Integer;
    } else {
        t.Kind = TokenKind::Integer;
        while (peek().isDigit() && peek().unicode() < 128)
            advance();
        if (peek() == QLatin1Char('.') && peek(1).isDigit()) {
            t.Kind = TokenKind::Float;
            advance();
            while (peek().isDigit() && peek().unicode() < 128)
                advance();
        }
        if (peek() == QLatin1Char('e') || peek() == QLatin1Char('E')) {
            int ahead = 1;
            if (peek(1) == QLatin1Char('-') || peek(1) == QLatin1Char('+'))
                ahead = 2;
            if (peek(ahead).isDigit()) {
                t.Kind = TokenKind::Float;
                for (int i = 0; i < ahead; ++i)
                    advance();
                while (peek().isDigit() && peek().unicode() < 128)
                    advance();
            }
        }
    }
    if (isIdentPart(peek()))
        fail(QStringLiteral("invalid number"), t.Line, t.Column);
    t.Text = m_text.mid(start, m_pos - start);
    return t;
}

} // namespace formfile
