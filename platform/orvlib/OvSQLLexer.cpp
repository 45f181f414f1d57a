#include "orvlib/OvSQLLexer.h"

TOvSQLLexer::TOvSQLLexer(const QString &Text, QChar MacroChar)
    : m_text(Text)
    , m_macroChar(MacroChar)
{}

void TOvSQLLexer::skipBlanksAndComments()
{
    const qsizetype n = m_text.size();
    while (m_pos < n) {
        const QChar c = m_text.at(m_pos);
        if (c.isSpace()) {
            ++m_pos;
        } else if (c == QLatin1Char('-') && at(m_pos + 1) == QLatin1Char('-')) {
            while (m_pos < n && m_text.at(m_pos) != QLatin1Char('\n'))
                ++m_pos;
        } else if (c == QLatin1Char('/') && at(m_pos + 1) == QLatin1Char('*')) {
            int depth = 1;
            m_pos += 2;
            while (m_pos < n && depth > 0) {
                if (m_text.at(m_pos) == QLatin1Char('*') && at(m_pos + 1) == QLatin1Char('/')) {
                    --depth;
                    m_pos += 2;
                } else if (m_text.at(m_pos) == QLatin1Char('/')
                           && at(m_pos + 1) == QLatin1Char('*')) {
                    ++depth;
                    m_pos += 2;
                } else {
                    ++m_pos;
                }
            }
        } else {
            return;
        }
    }
}

qsizetype TOvSQLLexer::identEnd(qsizetype From) const
{
    qsizetype i = From;
    while (i < m_text.size() && isSQLIdentChar(m_text.at(i)))
        ++i;
    return i;
}

TOvSQLToken TOvSQLLexer::Next()
{
    skipBlanksAndComments();
    TOvSQLToken t;
    t.pos = m_pos;
    const qsizetype n = m_text.size();
    if (m_pos >= n) {
        t.kind = TOvSQLToken::End;
        return t;
    }
    const QChar c = m_text.at(m_pos);

    // A quoted run: Close ends it, a doubled Close stands for one.
    auto quoted = [&](qsizetype Start, QChar Close, bool Doubling) {
        QString value;
        qsizetype i = Start;
        while (i < n) {
            const QChar d = m_text.at(i);
            if (d == Close) {
                if (Doubling && at(i + 1) == Close) {
                    value += d;
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            value += d;
            ++i;
        }
        m_pos = i;
        return value;
    };

    if (c == QLatin1Char('\'')) {
        t.kind = TOvSQLToken::String;
        t.value = quoted(m_pos + 1, QLatin1Char('\''), true);
    } else if ((c == QLatin1Char('E') || c == QLatin1Char('e') || c == QLatin1Char('N')
                || c == QLatin1Char('n') || c == QLatin1Char('X') || c == QLatin1Char('x'))
               && at(m_pos + 1) == QLatin1Char('\'')) {
        // E'..' may escape a quote with a backslash; skip escaped characters.
        t.kind = TOvSQLToken::String;
        const bool escapes = c == QLatin1Char('E') || c == QLatin1Char('e');
        qsizetype i = m_pos + 2;
        QString value;
        while (i < n) {
            const QChar d = m_text.at(i);
            if (escapes && d == QLatin1Char('\\') && i + 1 < n) {
                value += m_text.at(i + 1);
                i += 2;
            } else if (d == QLatin1Char('\'')) {
                if (at(i + 1) == QLatin1Char('\'')) {
                    value += d;
                    i += 2;
                } else {
                    ++i;
                    break;
                }
            } else {
                value += d;
                ++i;
            }
        }
        m_pos = i;
        t.value = value;
    } else if (c == QLatin1Char('"')) {
        t.kind = TOvSQLToken::QuotedIdent;
        t.value = quoted(m_pos + 1, QLatin1Char('"'), true);
    } else if (c == QLatin1Char('`')) {
        t.kind = TOvSQLToken::QuotedIdent;
        t.value = quoted(m_pos + 1, QLatin1Char('`'), true);
    } else if (c == QLatin1Char('[')) {
        t.kind = TOvSQLToken::QuotedIdent;
        t.value = quoted(m_pos + 1, QLatin1Char(']'), false);
    } else if (c == QLatin1Char('$')
               && (at(m_pos + 1) == QLatin1Char('$') || isSQLIdentStart(at(m_pos + 1)))) {
        // $tag$ ... $tag$ (PostgreSQL); a lone $name is a symbol and a name.
        qsizetype tagEnd = m_pos + 1;
        while (tagEnd < n && isSQLIdentChar(m_text.at(tagEnd))
               && m_text.at(tagEnd) != QLatin1Char('$'))
            ++tagEnd;
        if (at(tagEnd) == QLatin1Char('$')) {
            const QString tag = m_text.mid(m_pos, tagEnd - m_pos + 1);
            const qsizetype close = m_text.indexOf(tag, tagEnd + 1);
            t.kind = TOvSQLToken::String;
            const qsizetype bodyEnd = close < 0 ? n : close;
            t.value = m_text.mid(tagEnd + 1, bodyEnd - tagEnd - 1);
            m_pos = close < 0 ? n : close + tag.size();
        } else {
            t.kind = TOvSQLToken::Symbol;
            ++m_pos;
        }
    } else if (isSQLIdentStart(c)) {
        t.kind = TOvSQLToken::Ident;
        m_pos = identEnd(m_pos);
    } else if (c.isDigit() || (c == QLatin1Char('.') && at(m_pos + 1).isDigit())) {
        t.kind = TOvSQLToken::Number;
        qsizetype i = m_pos;
        while (i < n
               && (m_text.at(i).isLetterOrNumber() || m_text.at(i) == QLatin1Char('.')
                   || ((m_text.at(i) == QLatin1Char('+') || m_text.at(i) == QLatin1Char('-'))
                       && (m_text.at(i - 1) == QLatin1Char('e')
                           || m_text.at(i - 1) == QLatin1Char('E')))))
            ++i;
        m_pos = i;
    } else if (c == QLatin1Char(':') && at(m_pos + 1) == QLatin1Char(':')) {
        t.kind = TOvSQLToken::Symbol;
        m_pos += 2;
    } else if (c == QLatin1Char(':')
               && (isSQLIdentChar(at(m_pos + 1)) || at(m_pos + 1) == QLatin1Char('"'))) {
        t.kind = TOvSQLToken::Param;
        if (at(m_pos + 1) == QLatin1Char('"')) {
            t.value = quoted(m_pos + 2, QLatin1Char('"'), true);
        } else {
            const qsizetype e = identEnd(m_pos + 1);
            t.value = m_text.mid(m_pos + 1, e - m_pos - 1);
            m_pos = e;
        }
    } else if (!m_macroChar.isNull() && c == m_macroChar && isSQLIdentStart(at(m_pos + 1))) {
        t.kind = TOvSQLToken::Macro;
        const qsizetype e = identEnd(m_pos + 1);
        t.value = m_text.mid(m_pos + 1, e - m_pos - 1);
        m_pos = e;
    } else {
        t.kind = TOvSQLToken::Symbol;
        static const char *const pairs[] = {"<=", ">=", "<>", "!=", "||", "==", "->"};
        ++m_pos;
        for (const char *p : pairs) {
            if (c == QLatin1Char(p[0]) && at(m_pos) == QLatin1Char(p[1])) {
                ++m_pos;
                break;
            }
        }
    }
    t.len = m_pos - t.pos;
    t.raw = QStringView(m_text).mid(t.pos, t.len);
    return t;
}

bool LooksLikeQuery(const QString &SQL)
{
    TOvSQLLexer lexer(SQL);
    const TOvSQLToken t = lexer.Next();
    return t.isKeyword("select") || t.isKeyword("with") || t.isKeyword("values")
           || t.isKeyword("table") || t.isSymbol('(');
}
