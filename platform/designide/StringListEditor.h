#pragma once

#include "PropertyEditors.h"

#include "rtl/Forms.h"

#include <QString>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TStrings;

// The environment's string-list editor: the lines as plain text, a label
// counting them, OK, Cancel and a button that moves the edit to the code
// editor. Controls: meLines, lbLineCount, btCodeEditor (shown when
// ShowCodeEditor is set), btOk (mrOk), btCancel (mrCancel). Every button's
// action is a public method so a script can act where a person would.
class TStringsEditDlg : public TForm
{
    Q_OBJECT

public:
    explicit TStringsEditDlg(QWidget *AOwner = nullptr);

    void SetLines(const TStrings &List);
    // The text as a list: one entry per line.
    void GetLines(TStrings &List) const;
    void SetText(const QString &Text);
    QString Text() const;
    // Whether the text differs from the one SetLines last gave.
    bool Modified() const;
    // "0 lines", "1 line", "12 lines".
    QString LineCountText() const;

    // Takes the text (and whether it differs from the starting one) into
    // the code editor.
    std::function<void(const QString &Text, bool Modified)> ShowCodeEditor;
    void updateButtons();
    // Hands the text to ShowCodeEditor and closes the form as cancelled: the
    // edit goes on in the code editor, which writes the property itself.
    // When ShowCodeEditor raises, the error is shown and the form stays open
    // with its text, so nothing typed is lost.
    void btCodeEditorClick();

private:
    void countLines();

    QPlainTextEdit *meLines = nullptr;
    QLabel *lbLineCount = nullptr;
    QPushButton *btCodeEditor = nullptr;
    QString m_original;
};

// The environment's editor of every string-list (TStrings) property that no
// package registered an editor for: the ellipsis button opens
// TStringsEditDlg on the first component's lines, captioned
// "component.property".
//
// OK with changed lines writes them into every selected component through
// its setter, as one change the designer hears of (Modified); OK with the
// lines unchanged, and Cancel, write nothing. Whatever the component does on
// such a write happens as it would from code (a query closes when its SQL
// changes). "Code Editor..." opens the text as the property's module in the
// code editor, where saving writes the property. When the property is open
// there already, the ellipsis brings that module forward instead of showing
// a second copy of the text.
class TStringListProperty : public TClassProperty
{
    Q_OBJECT

public:
    using TClassProperty::TClassProperty;

    // TClassProperty's, with paDialog and without paSubProperties.
    TPropertyAttributes GetAttributes() override;
    void Edit() override;

private:
    // Whether every selected component holds the text Text.
    bool allHold(const QString &Text) const;
};

// Whether a property of type Type is a string list the environment edits
// with TStringListProperty when no editor of its own is registered.
bool isStringListType(const PTypeInfo &Type);
