#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <vector>

// Colours SQL text as the runtime library reads it: keywords, string
// literals, comments (-- and nested /* */), parameter markers (:name,
// :"name"; a :: cast is none). Constructs that span lines (a comment, a
// literal) are found by lexing the whole text once per change, so a line
// is coloured by what precedes it, not only by its own characters.
class TSqlHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    enum Kind { Plain, Keyword, String, Comment, Parameter, Number };

    explicit TSqlHighlighter(QTextDocument *Document);

    // What the character at Position of the document is coloured as.
    Kind kindAt(int Position);
    // How often the whole text was lexed (each change lexes it once).
    int lexCount() const { return m_lexCount; }

    static bool isKeyword(QStringView Word);

protected:
    void highlightBlock(const QString &Text) override;

private:
    struct Span
    {
        int Pos;
        int End;
        Kind What;
    };
    void lex();

    std::vector<Span> m_spans; // in text order, not overlapping
    bool m_dirty = true;
    int m_lexCount = 0;
    QTextCharFormat m_formats[6];
};
