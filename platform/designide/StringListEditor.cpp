#include "StringListEditor.h"

#include "rtl/Forms.h"

#include "Stfilsys.h"

#include "rtl/Classes.h"
#include "rtl/Dialogs.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A list as the editor shows it: its lines without the final line break.
QString shownText(const TStrings &List)
{
    QString text = List.Text();
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

} // namespace

// --- TStringsEditDlg -------------------------------------------------------------

TStringsEditDlg::TStringsEditDlg(QWidget *AOwner)
    : TForm(AOwner)
{
    setObjectName(QStringLiteral("StringsEditDlg"));
    setWindowTitle(tr("String list editor"));
    meLines = named(new QPlainTextEdit(this), "meLines");
    meLines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    meLines->setLineWrapMode(QPlainTextEdit::NoWrap);
    lbLineCount = named(new QLabel(this), "lbLineCount");
    btCodeEditor = named(new QPushButton(tr("&Code Editor..."), this), "btCodeEditor");
    btCodeEditor->setToolTip(tr("Go on editing the text in the code editor"));
    auto *ok = named(new QPushButton(tr("OK"), this), "btOk");
    auto *cancel = named(new QPushButton(tr("Cancel"), this), "btCancel");
    ok->setDefault(true);
    bindModalResult(ok, mrOk);
    bindModalResult(cancel, mrCancel);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btCodeEditor);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lbLineCount);
    layout->addWidget(meLines, 1);
    layout->addLayout(buttons);
    resize(560, 380);

    connect(meLines, &QPlainTextEdit::textChanged, this, &TStringsEditDlg::countLines);
    connect(btCodeEditor, &QPushButton::clicked, this, &TStringsEditDlg::btCodeEditorClick);
    countLines();
    updateButtons();
    meLines->setFocus();
}

void TStringsEditDlg::SetLines(const TStrings &List)
{
    SetText(shownText(List));
    m_original = meLines->toPlainText();
}

void TStringsEditDlg::GetLines(TStrings &List) const
{
    List.SetText(meLines->toPlainText());
}

void TStringsEditDlg::SetText(const QString &Text)
{
    meLines->setPlainText(Text);
}

QString TStringsEditDlg::Text() const
{
    return meLines->toPlainText();
}

bool TStringsEditDlg::Modified() const
{
    return meLines->toPlainText() != m_original;
}

QString TStringsEditDlg::LineCountText() const
{
    return lbLineCount->text();
}

void TStringsEditDlg::countLines()
{
    TStringList lines;
    GetLines(lines);
    lbLineCount->setText(lines.Count() == 1 ? tr("1 line") : tr("%1 lines").arg(lines.Count()));
}

void TStringsEditDlg::updateButtons()
{
    btCodeEditor->setVisible(bool(ShowCodeEditor));
}

void TStringsEditDlg::btCodeEditorClick()
{
    if (!ShowCodeEditor)
        return;
    try {
        ShowCodeEditor(Text(), Modified());
    } catch (const Exception &e) {
        MessageDlg(e.Message(), mtError, mbOK);
        return;
    } catch (const std::exception &e) {
        MessageDlg(QString::fromLocal8Bit(e.what()), mtError, mbOK);
        return;
    }
    SetModalResult(mrCancel);
}

// --- TStringListProperty ---------------------------------------------------------

TPropertyAttributes TStringListProperty::GetAttributes()
{
    return TClassProperty::GetAttributes() - paSubProperties + paDialog;
}

bool TStringListProperty::allHold(const QString &Text) const
{
    for (int i = 0; i < PropCount(); ++i) {
        // An entry may hold a line break of its own; the editor shows it as
        // two lines, which is no change.
        TStringList lines;
        if (const TStrings *list = GetVarValueAt(i).value<TStrings *>())
            lines.SetText(list->Text());
        if (lines.Text() != Text)
            return false;
    }
    return true;
}

void TStringListProperty::Edit()
{
    QObject *component = GetComponent(0);
    const QString name = GetName();
    if (ShowOpenStringsModule(Designer(), component, name))
        return;
    TStringsEditDlg dlg;
    dlg.setWindowTitle(QStringLiteral("%1.%2").arg(component->objectName(), name));
    if (const TStrings *lines = GetObjectValue<TStrings>())
        dlg.SetLines(*lines);
    const IDesignerPtr designer = Designer();
    dlg.ShowCodeEditor = [designer, component, name](const QString &Text, bool Modified) {
        OpenStringsModule(designer, component, name, Text, Modified);
    };
    dlg.updateButtons();
    if (dlg.ShowModal() != mrOk)
        return;
    TStringList accepted;
    dlg.GetLines(accepted);
    // Unchanged lines are no change: nothing is written, so a query keeps
    // its dataset open and the module is not marked.
    if (allHold(accepted.Text()))
        return;
    SetObjectValue<TStrings>(&accepted);
}

bool isStringListType(const PTypeInfo &Type)
{
    return Type.Name == QLatin1String("TStrings") || Type.Name == QLatin1String("TStringList");
}
