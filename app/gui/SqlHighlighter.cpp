#include "SqlHighlighter.h"

#include "orvlib/OvSQLLexer.h"

#include <QGuiApplication>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

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

// Where a line starts: closed, or inside a construct the line above opened.
// A line's state keeps it in the low bits, above them the depth of a comment
// or a hash of a dollar quote's tag (the tag itself is kept with the line),
// so that a change of either colours the next line again.
enum Open {
    Closed,
    InComment,
    InString,
    InEscapedString, // E'..': a backslash escapes the next character
    InQuotedName,
    InBackQuotedName,
    InBracketName,
    InDollarString,
    InQuotedParam,
};
constexpr int OpenBits = 4;
constexpr int OpenMask = (1 << OpenBits) - 1;
constexpr uint PayloadMask = 0x7ffffff;

constexpr int KindProperty = QTextFormat::UserProperty + 1;

TSqlHighlighter::Kind kindOf(Open O)
{
    switch (O) {
    case InComment:
        return TSqlHighlighter::Comment;
    case InString:
    case InEscapedString:
    case InDollarString:
        return TSqlHighlighter::String;
    case InQuotedParam:
        return TSqlHighlighter::Parameter;
    default:
        return TSqlHighlighter::Plain;
    }
}

// The tag of the dollar-quoted string a line leaves open.
class DollarTag : public QTextBlockUserData
{
public:
    explicit DollarTag(QString ATag)
        : Tag(std::move(ATag))
    {}
    QString Tag;
};

// The runtime library's lexing rules applied to one line; each end is the
// position after the construct, or -1 when it runs past the line.
struct LineScanner
{
    const QString &Text;

    QChar at(qsizetype I) const { return I < Text.size() ? Text.at(I) : QChar(); }
    qsizetype identEnd(qsizetype I) const
    {
        while (I < Text.size() && isSQLIdentChar(Text.at(I)))
            ++I;
        return I;
    }
    qsizetype numberEnd(qsizetype I) const
    {
        const qsizetype start = I;
        while (I < Text.size()) {
            const QChar c = Text.at(I);
            const bool exponentSign = (c == u'+' || c == u'-') && I > start
                                      && (Text.at(I - 1) == u'e' || Text.at(I - 1) == u'E');
            if (!c.isLetterOrNumber() && c != u'.' && !exponentSign)
                break;
            ++I;
        }
        return I;
    }
    // Comments nest; Depth is how many are open, before and after.
    qsizetype commentEnd(qsizetype I, int &Depth) const
    {
        while (I < Text.size()) {
            if (Text.at(I) == u'*' && at(I + 1) == u'/') {
                I += 2;
                if (--Depth == 0)
                    return I;
            } else if (Text.at(I) == u'/' && at(I + 1) == u'*') {
                ++Depth;
                I += 2;
            } else {
                ++I;
            }
        }
        return -1;
    }
    // Close ends the run; with Doubling a doubled Close stands for one.
    qsizetype quotedEnd(qsizetype I, QChar Close, bool Doubling) const
    {
        while (I < Text.size()) {
            if (Text.at(I) == Close) {
                if (!Doubling || at(I + 1) != Close)
                    return I + 1;
                ++I;
            }
            ++I;
        }
        return -1;
    }
    qsizetype escapedEnd(qsizetype I) const
    {
        while (I < Text.size()) {
            const QChar c = Text.at(I);
            if (c == u'\\' && I + 1 < Text.size()) {
                I += 2;
            } else if (c == u'\'') {
                if (at(I + 1) != u'\'')
                    return I + 1;
                I += 2;
            } else {
                ++I;
            }
        }
        return -1;
    }
};

} // namespace

TSqlHighlighter::TSqlHighlighter(QTextDocument *Document)
    : TSqlHighlighter(Document, QGuiApplication::palette())
{}

TSqlHighlighter::TSqlHighlighter(QTextDocument *Document, const QPalette &Palette)
    : QSyntaxHighlighter(static_cast<QObject *>(nullptr))
{
    // Dark colours on a light base, light ones of the same hues on a dark base.
    const QColor base = Palette.color(QPalette::Base);
    const QColor text = Palette.color(QPalette::Text);
    const bool dark = base.lightness() < 128;
    const auto pick = [dark](QColor OnLight, QColor OnDark) {
        return dark ? OnDark : OnLight;
    };
    m_formats[Plain].setForeground(text);
    m_formats[Keyword].setForeground(pick(QColor(0, 0, 160), QColor(130, 170, 255)));
    m_formats[Keyword].setFontWeight(QFont::Bold);
    m_formats[String].setForeground(pick(QColor(0, 120, 0), QColor(120, 210, 120)));
    // Comments halfway between the text and the background.
    m_formats[Comment].setForeground(QColor((base.red() + text.red()) / 2,
                                            (base.green() + text.green()) / 2,
                                            (base.blue() + text.blue()) / 2));
    m_formats[Comment].setFontItalic(true);
    m_formats[Parameter].setForeground(pick(QColor(150, 0, 150), QColor(230, 140, 230)));
    m_formats[Parameter].setFontWeight(QFont::Bold);
    m_formats[Number].setForeground(pick(QColor(0, 110, 140), QColor(100, 200, 220)));
    for (int k = Plain; k <= Number; ++k)
        m_formats[k].setProperty(KindProperty, k);
    setParent(Document);
    // A document tells of its changes (contentsChange) only once it has a
    // layout; a view gives it one, a bare document gets the default here.
    Document->documentLayout();
    setDocument(Document);
}

bool TSqlHighlighter::isKeyword(QStringView Word)
{
    return keywords().contains(Word.toString().toUpper());
}

QColor TSqlHighlighter::colourOf(Kind K) const
{
    return m_formats[K].foreground().color();
}

TSqlHighlighter::Kind TSqlHighlighter::kindAt(int Position)
{
    const QTextBlock block = document() ? document()->findBlock(Position) : QTextBlock();
    if (!block.isValid())
        return Plain;
    // A text set before the highlighter was is coloured from the event loop.
    if (block.userState() < 0)
        rehighlight();
    const int column = Position - block.position();
    for (const QTextLayout::FormatRange &r : block.layout()->formats())
        if (column >= r.start && column < r.start + r.length)
            return Kind(r.format.intProperty(KindProperty));
    return Plain;
}

void TSqlHighlighter::highlightBlock(const QString &Text)
{
    ++m_lexCount;
    const LineScanner line{Text};
    const qsizetype n = Text.size();
    const int above = previousBlockState();
    Open open = above < 0 ? Closed : Open(above & OpenMask);
    int depth = above >> OpenBits; // of a comment
    QString tag;                   // of a dollar-quoted string
    if (open == InDollarString) {
        const auto *data = static_cast<const DollarTag *>(currentBlock().previous().userData());
        if (data)
            tag = data->Tag;
        else
            open = Closed;
    }
    const auto colour = [&](qsizetype From, qsizetype To, Kind What) {
        if (To > From && What != Plain)
            setFormat(int(From), int(To - From), m_formats[What]);
    };
    // The end of the open construct that starts at Start and whose body
    // goes on at From; -1 when it runs past the line.
    const auto finish = [&](qsizetype Start, qsizetype From) {
        qsizetype end = -1;
        switch (open) {
        case Closed:
            return From;
        case InComment:
            end = line.commentEnd(From, depth);
            break;
        case InString:
        case InQuotedParam:
        case InQuotedName:
            end = line.quotedEnd(From, open == InString ? u'\'' : u'"', true);
            break;
        case InEscapedString:
            end = line.escapedEnd(From);
            break;
        case InBackQuotedName:
            end = line.quotedEnd(From, u'`', true);
            break;
        case InBracketName:
            end = line.quotedEnd(From, u']', false);
            break;
        case InDollarString:
            end = Text.indexOf(tag, From);
            if (end >= 0)
                end += tag.size();
            break;
        }
        colour(Start, end < 0 ? n : end, kindOf(open));
        if (end >= 0)
            open = Closed;
        return end;
    };

    qsizetype i = finish(0, 0);
    while (i >= 0 && i < n) {
        const QChar c = Text.at(i);
        const qsizetype start = i;
        qsizetype body = -1; // where an opened construct's body starts
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && line.at(i + 1) == u'-') {
            // To the end of the line; a line separator inside a paragraph ends it too.
            const qsizetype end = Text.indexOf(QChar::LineSeparator, i);
            i = end < 0 ? n : end;
            colour(start, i, Comment);
        } else if (c == u'/' && line.at(i + 1) == u'*') {
            open = InComment;
            depth = 1;
            body = i + 2;
        } else if (c == u'\'') {
            open = InString;
            body = i + 1;
        } else if ((c == u'E' || c == u'e' || c == u'N' || c == u'n' || c == u'X' || c == u'x')
                   && line.at(i + 1) == u'\'') {
            open = c == u'E' || c == u'e' ? InEscapedString : InString;
            body = i + 2;
        } else if (c == u'"') {
            open = InQuotedName;
            body = i + 1;
        } else if (c == u'`') {
            open = InBackQuotedName;
            body = i + 1;
        } else if (c == u'[') {
            open = InBracketName;
            body = i + 1;
        } else if (c == u'$' && (line.at(i + 1) == u'$' || isSQLIdentStart(line.at(i + 1)))) {
            qsizetype tagEnd = i + 1;
            while (tagEnd < n && isSQLIdentChar(Text.at(tagEnd)) && Text.at(tagEnd) != u'$')
                ++tagEnd;
            if (line.at(tagEnd) == u'$') {
                tag = Text.mid(i, tagEnd - i + 1);
                open = InDollarString;
                body = tagEnd + 1;
            } else {
                ++i; // a lone $: a symbol
            }
        } else if (isSQLIdentStart(c)) {
            i = line.identEnd(i);
            if (isKeyword(QStringView(Text).mid(start, i - start)))
                colour(start, i, Keyword);
        } else if (c.isDigit() || (c == u'.' && line.at(i + 1).isDigit())) {
            i = line.numberEnd(i);
            colour(start, i, Number);
        } else if (c == u':' && line.at(i + 1) == u':') {
            i += 2; // a cast
        } else if (c == u':' && line.at(i + 1) == u'"') {
            open = InQuotedParam;
            body = i + 2;
        } else if (c == u':' && isSQLIdentChar(line.at(i + 1))) {
            i = line.identEnd(i + 1);
            colour(start, i, Parameter);
        } else {
            ++i; // a symbol
        }
        if (body >= 0)
            i = finish(start, body);
    }

    int state = 0;
    if (open != Closed) {
        const uint payload = open == InComment        ? uint(depth)
                             : open == InDollarString ? uint(qHash(tag))
                                                      : 0u;
        state = int(open | ((payload & PayloadMask) << OpenBits));
    }
    setCurrentBlockUserData(open == InDollarString ? new DollarTag(tag) : nullptr);
    setCurrentBlockState(state);
}
