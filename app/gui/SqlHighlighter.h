#pragma once

#include <QPalette>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

// Colours SQL text as the runtime library reads it: keywords, string
// literals, comments (-- and nested /* */), parameter markers (:name,
// :"name"; a :: cast is none). Lines are coloured one at a time, each
// starting from what the line above left open (a comment and its depth, a
// literal or quoted name and its quote, a dollar-quoted string and its tag),
// so a keystroke costs the line it changes, and the lines below only while
// what is open at their start changes.
class TSqlHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    enum Kind { Plain, Keyword, String, Comment, Parameter, Number };

    // The colours are chosen to read on Palette's base colour (the
    // application's palette by default): a dark theme gets light ones.
    explicit TSqlHighlighter(QTextDocument *Document);
    TSqlHighlighter(QTextDocument *Document, const QPalette &Palette);

    // The colour text of Kind is drawn in.
    QColor colourOf(Kind K) const;

    // What the character at Position of the document is coloured as.
    Kind kindAt(int Position);
    // How many lines were coloured so far.
    int lexCount() const { return m_lexCount; }

    static bool isKeyword(QStringView Word);

protected:
    void highlightBlock(const QString &Text) override;

private:
    int m_lexCount = 0;
    QTextCharFormat m_formats[6];
};
