#include "orvlib/OvDlgsForms.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDlgsParams.h"

#include "rtl/Dialogs.h"
#include "rtl/SysUtils.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
using ovdlgs::label;
using ovdlgs::named;

QString tr(const char *Text)
{
    return QCoreApplication::translate("OvDlgs", Text);
}

// The OK and Cancel buttons at the foot of a form, bound to their results.
QHBoxLayout *okCancelRow(TForm *Form, QPushButton **Ok = nullptr)
{
    auto *ok = named(new QPushButton(QCoreApplication::translate("OvDlgs", "OK"), Form), "btOk");
    auto *cancel
        = named(new QPushButton(QCoreApplication::translate("OvDlgs", "Cancel"), Form), "btCancel");
    ok->setDefault(true);
    Form->bindModalResult(ok, mrOk);
    Form->bindModalResult(cancel, mrCancel);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    if (Ok)
        *Ok = ok;
    return row;
}

// A list from editor text: one entry per line; a final line break adds none.
void linesOf(const QPlainTextEdit *Editor, TStrings &List)
{
    List.SetText(Editor->toPlainText());
}

// Hands the editor's text to the code editor and closes the form as
// cancelled: from here on the code editor owns the edit. When the code
// editor cannot take the text, the error is shown and the form stays open
// with its text, so nothing typed is lost.
void handToCodeEditor(TForm &Form, const TOvShowCodeEditorEvent &ShowCodeEditor,
                      const QPlainTextEdit *Editor, bool Modified)
{
    if (!ShowCodeEditor)
        return;
    TStringList lines;
    linesOf(Editor, lines);
    try {
        ShowCodeEditor(&lines, Modified);
    } catch (const Exception &e) {
        MessageDlg(e.Message(), mtError, mbOK);
        return;
    } catch (const std::exception &e) {
        MessageDlg(QString::fromLocal8Bit(e.what()), mtError, mbOK);
        return;
    }
    Form.SetModalResult(mrCancel);
}

} // namespace

QLabel *ovdlgs::label(QWidget *Parent, const QString &Text, QWidget *Buddy, const char *Name)
{
    QLabel *l = named(new QLabel(Text, Parent), Name);
    l->setBuddy(Buddy);
    return l;
}

QString ovdlgs::editorText(const TStrings &List)
{
    QString text = List.Text();
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

QFont ovdlgs::codeFont()
{
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

// --- TOvDatabaseParamsDlg

TOvDatabaseParamsDlg::TOvDatabaseParamsDlg(QWidget *AOwner)
    : TForm(AOwner)
{
    setObjectName(QStringLiteral("OvDatabaseParamsDlg"));
    setWindowTitle(tr("Connection parameters"));
    cbServerType = named(new QComboBox(this), "cbServerType");
    for (TOvServerType type : AllServerTypes())
        cbServerType->addItem(GetServerTypeName(type), int(type));
    lbKnownParams = named(new QTreeWidget(this), "lbKnownParams");
    lbKnownParams->setColumnCount(2);
    lbKnownParams->setHeaderLabels({tr("Parameter"), tr("Description")});
    lbKnownParams->setRootIsDecorated(false);
    lbKnownParams->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    lbKnownParams->setToolTip(tr("Double-click a parameter to add it"));
    meParams = named(new QPlainTextEdit(this), "meParams");
    meParams->setFont(ovdlgs::codeFont());
    meParams->setLineWrapMode(QPlainTextEdit::NoWrap);
    btDefaultParams = named(new QPushButton(tr("&Default parameters"), this), "btDefaultParams");
    btCodeEditor = named(new QPushButton(tr("&Code editor..."), this), "btCodeEditor");

    auto *known = named(new QWidget(this), "pnKnownParams");
    auto *knownLayout = new QVBoxLayout(known);
    knownLayout->setContentsMargins(0, 0, 0, 0);
    auto *typeRow = new QHBoxLayout;
    typeRow->addWidget(label(known, tr("&Known parameters of"), cbServerType, "lblServerType"));
    typeRow->addWidget(cbServerType, 1);
    knownLayout->addLayout(typeRow);
    knownLayout->addWidget(lbKnownParams);
    auto *splitter = named(new QSplitter(Qt::Vertical, this), "spParams");
    splitter->addWidget(meParams);
    splitter->addWidget(known);

    QHBoxLayout *buttons = okCancelRow(this);
    buttons->insertWidget(0, btCodeEditor);
    buttons->insertWidget(0, btDefaultParams);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(520, 420);

    connect(cbServerType, &QComboBox::currentIndexChanged, this, [this] { fillKnownParams(); });
    connect(lbKnownParams, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *Item) { knownParamActivated(Item); });
    connect(btDefaultParams, &QPushButton::clicked, this, [this] { btDefaultParamsClick(); });
    connect(btCodeEditor, &QPushButton::clicked, this, [this] { btCodeEditorClick(); });
    SetServerType(DefServerType);
    updateButtons();
}

TOvServerType TOvDatabaseParamsDlg::ServerType() const
{
    const QVariant data = cbServerType->currentData();
    return data.isValid() ? TOvServerType(data.toInt()) : DefServerType;
}

void TOvDatabaseParamsDlg::SetServerType(TOvServerType Value)
{
    const int index = cbServerType->findData(int(Value));
    if (index >= 0)
        cbServerType->setCurrentIndex(index);
    fillKnownParams();
}

void TOvDatabaseParamsDlg::fillKnownParams()
{
    lbKnownParams->clear();
    for (const TOvKnownParam &param : KnownConnectParams(ServerType()))
        new QTreeWidgetItem(lbKnownParams, {param.Name, param.Description});
}

void TOvDatabaseParamsDlg::GetLines(TStrings &List) const
{
    linesOf(meParams, List);
}

void TOvDatabaseParamsDlg::SetLines(const TStrings &List)
{
    meParams->setPlainText(ovdlgs::editorText(List));
    m_original = meParams->toPlainText();
}

bool TOvDatabaseParamsDlg::Modified() const
{
    return meParams->toPlainText() != m_original;
}

void TOvDatabaseParamsDlg::updateButtons()
{
    btDefaultParams->setVisible(bool(GetDefaultParams));
    btCodeEditor->setVisible(bool(ShowCodeEditor));
}

void TOvDatabaseParamsDlg::btDefaultParamsClick()
{
    if (!GetDefaultParams)
        return;
    TStringList defaults;
    GetDefaultParams(&defaults);
    meParams->setPlainText(ovdlgs::editorText(defaults));
}

void TOvDatabaseParamsDlg::btCodeEditorClick()
{
    handToCodeEditor(*this, ShowCodeEditor, meParams, Modified());
}

void TOvDatabaseParamsDlg::addKnownParam(const QString &Name)
{
    TStringList lines;
    GetLines(lines);
    if (lines.IndexOfName(Name) < 0) {
        QString text = meParams->toPlainText();
        if (!text.isEmpty() && !text.endsWith(u'\n'))
            text += u'\n';
        meParams->setPlainText(text + Name + u'=');
    }
    meParams->moveCursor(QTextCursor::End);
    meParams->setFocus();
}

void TOvDatabaseParamsDlg::knownParamActivated(QTreeWidgetItem *Item)
{
    if (Item)
        addKnownParam(Item->text(0));
}

bool ShowDatabaseParamsEditor(TStrings *Params, TOvServerType ServerType,
                              TOvShowCodeEditorEvent ShowCodeEditor,
                              TOvGetDefaultParamsEvent GetDefaultParams)
{
    if (!Params)
        throw Exception(QStringLiteral("ShowDatabaseParamsEditor: no parameter list"));
    TOvDatabaseParamsDlg dlg;
    dlg.SetServerType(ServerType);
    dlg.SetLines(*Params);
    dlg.ShowCodeEditor = std::move(ShowCodeEditor);
    dlg.GetDefaultParams = std::move(GetDefaultParams);
    dlg.updateButtons();
    if (dlg.ShowModal() != mrOk)
        return false;
    TStringList accepted;
    dlg.GetLines(accepted);
    Params->Assign(accepted);
    return true;
}

bool ShowDatabaseParamsEditor(TStrings *Params, TOvShowCodeEditorEvent ShowCodeEditor,
                              TOvGetDefaultParamsEvent GetDefaultParams)
{
    return ShowDatabaseParamsEditor(Params, DefServerType, std::move(ShowCodeEditor),
                                    std::move(GetDefaultParams));
}

// --- TOvSQLEditDlg

TOvSQLEditDlg::TOvSQLEditDlg(QWidget *AOwner)
    : TForm(AOwner)
{
    setObjectName(QStringLiteral("OvSQLEditDlg"));
    meSQL = named(new QPlainTextEdit(this), "meSQL");
    meSQL->setFont(ovdlgs::codeFont());
    meSQL->setLineWrapMode(QPlainTextEdit::NoWrap);
    btCodeEditor = named(new QPushButton(tr("&Code editor..."), this), "btCodeEditor");
    QHBoxLayout *buttons = okCancelRow(this);
    buttons->insertWidget(0, btCodeEditor);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(meSQL, 1);
    layout->addLayout(buttons);
    resize(600, 400);
    connect(btCodeEditor, &QPushButton::clicked, this, [this] { btCodeEditorClick(); });
    updateButtons();
}

void TOvSQLEditDlg::GetLines(TStrings &List) const
{
    linesOf(meSQL, List);
}

void TOvSQLEditDlg::SetLines(const TStrings &List)
{
    meSQL->setPlainText(ovdlgs::editorText(List));
    m_original = meSQL->toPlainText();
}

bool TOvSQLEditDlg::Modified() const
{
    return meSQL->toPlainText() != m_original;
}

void TOvSQLEditDlg::updateButtons()
{
    btCodeEditor->setVisible(bool(ShowCodeEditor));
}

void TOvSQLEditDlg::btCodeEditorClick()
{
    handToCodeEditor(*this, ShowCodeEditor, meSQL, Modified());
}

bool ShowSQLEditor(const QString &Name, TOvQuery *Query, TOvShowCodeEditorEvent ShowCodeEditor)
{
    if (!Query)
        throw Exception(QStringLiteral("ShowSQLEditor: no query"));
    TOvSQLEditDlg dlg;
    dlg.setWindowTitle(Name);
    dlg.SetLines(*Query->SQL());
    dlg.ShowCodeEditor = std::move(ShowCodeEditor);
    dlg.updateButtons();
    if (dlg.ShowModal() != mrOk)
        return false;
    TStringList accepted;
    dlg.GetLines(accepted);
    Query->SQL()->Assign(accepted);
    return true;
}

// --- TOvRemoteDatabaseDlg

TOvRemoteDatabaseDlg::TOvRemoteDatabaseDlg(QWidget *AOwner)
    : TForm(AOwner)
{
    setObjectName(QStringLiteral("OvRemoteDatabaseDlg"));
    setWindowTitle(tr("PostgreSQL database"));
    edServer = named(new QLineEdit(this), "edServer");
    edServer->setPlaceholderText(tr("local server"));
    edPort = named(new QLineEdit(this), "edPort");
    edPort->setValidator(new QIntValidator(1, 65535, edPort));
    edPort->setPlaceholderText(tr("default"));
    edDatabase = named(new QLineEdit(this), "edDatabase");
    auto *form = new QFormLayout;
    form->addRow(label(this, tr("&Server:"), edServer, "lblServer"), edServer);
    form->addRow(label(this, tr("&Port:"), edPort, "lblPort"), edPort);
    form->addRow(label(this, tr("&Database:"), edDatabase, "lblDatabase"), edDatabase);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(okCancelRow(this, &btOk));
    resize(360, sizeHint().height());
    connect(edDatabase, &QLineEdit::textChanged, this, [this] { updateButtons(); });
    updateButtons();
}

void TOvRemoteDatabaseDlg::SetValue(const QString &Original)
{
    m_original = Original;
    const TOvPgAddress address = ParsePgRemoteDatabase(Original);
    edServer->setText(address.Host);
    edPort->setText(address.Port);
    edDatabase->setText(address.Database);
}

QString TOvRemoteDatabaseDlg::Value() const
{
    return ComposePgRemoteDatabase({edServer->text(), edPort->text(), edDatabase->text()},
                                   m_original);
}

void TOvRemoteDatabaseDlg::updateButtons()
{
    btOk->setEnabled(!edDatabase->text().trimmed().isEmpty());
}

QString InputRemoteDatabaseValue(TOvServerType ServerType, const QString &Value)
{
    switch (ServerType) {
    case TOvServerType::stSQLite: {
        TOpenDialog dialog;
        dialog.Title = tr("Database file");
        dialog.Filter = tr("SQLite databases|*.db;*.sqlite;*.sqlite3;*.db3|All files|*.*");
        dialog.FileName = Value.trimmed();
        if (!dialog.FileName.isEmpty())
            dialog.InitialDir = QFileInfo(dialog.FileName).absolutePath();
        return dialog.Execute() ? dialog.FileName : QString();
    }
    case TOvServerType::stPostgreSQL:
    case TOvServerType::stMySQL: {
        // Both name the server and the database as host:port/database.
        TOvRemoteDatabaseDlg dlg;
        dlg.SetValue(Value);
        return dlg.ShowModal() == mrOk ? dlg.Value() : QString();
    }
    }
    return QString();
}

// --- TOvLoginDlg

TOvLoginDlg::TOvLoginDlg(QWidget *AOwner)
    : TForm(AOwner)
{
    setObjectName(QStringLiteral("OvLoginDlg"));
    setWindowTitle(tr("Database login"));
    lblDatabase = named(new QLabel(this), "lblDatabase");
    edUserName = named(new QLineEdit(this), "edUserName");
    edPassword = named(new QLineEdit(this), "edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    auto *form = new QFormLayout;
    form->addRow(label(this, tr("Database:"), nullptr, "lblDatabaseCaption"), lblDatabase);
    form->addRow(label(this, tr("&User name:"), edUserName, "lblUserName"), edUserName);
    form->addRow(label(this, tr("&Password:"), edPassword, "lblPassword"), edPassword);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(okCancelRow(this));
    resize(320, sizeHint().height());
}

void TOvLoginDlg::SetDatabase(const QString &Text)
{
    lblDatabase->setText(Text);
}

void TOvLoginDlg::SetUserName(const QString &Value)
{
    edUserName->setText(Value);
    // A known user: the password is what is left to type.
    (Value.isEmpty() ? edUserName : edPassword)->setFocus();
}

QString TOvLoginDlg::UserName() const
{
    return edUserName->text();
}

QString TOvLoginDlg::Password() const
{
    return edPassword->text();
}

bool ovdlgs::loginDialog(const QString &Caption, TStrings *LoginParams)
{
    if (!LoginParams)
        return false;
    TOvLoginDlg dlg;
    dlg.SetDatabase(Caption);
    dlg.SetUserName(LoginParams->Values(QStringLiteral("USER NAME")));
    if (dlg.ShowModal() != mrOk)
        return false;
    LoginParams->SetValues(QStringLiteral("USER NAME"), dlg.UserName());
    LoginParams->SetValues(QStringLiteral("PASSWORD"), dlg.Password());
    return true;
}

bool LoginDialog(TOvDatabase *Database, TStrings *LoginParams)
{
    QString caption;
    if (Database) {
        caption = Database->DatabaseName();
        if (!Database->RemoteDatabase().isEmpty())
            caption += QStringLiteral(" (%1)").arg(Database->RemoteDatabase());
    }
    return ovdlgs::loginDialog(caption, LoginParams);
}
