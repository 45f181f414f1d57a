#include "orvlib/OvDlgs.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDlgsForms.h"
#include "orvlib/OvDlgsParams.h"
#include "orvlib/OvDriver.h"

#include "rtl/Dialogs.h"
#include "rtl/SysUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
using ovdlgs::label;
using ovdlgs::named;

bool isTrueText(const QString &Value)
{
    const QString v = Value.trimmed();
    return v == QLatin1String("1") || v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
           || v.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}


} // namespace

TOvDatabaseEditDlg::TOvDatabaseEditDlg(QWidget *AOwner, int Dummy)
    : TForm(AOwner)
    , m_params(std::make_unique<TStringList>())
{
    Q_UNUSED(Dummy);
    setObjectName(QStringLiteral("OvDatabaseEditDlg"));
    setWindowTitle(tr("Database"));
    buildLayout();
    LoadData(nullptr);
}

TOvDatabaseEditDlg::~TOvDatabaseEditDlg() = default;

void TOvDatabaseEditDlg::buildLayout()
{
    edDatabaseName = named(new QLineEdit(this), "edDatabaseName");
    cbServerType = named(new QComboBox(this), "cbServerType");
    for (TOvServerType type : AllServerTypes())
        cbServerType->addItem(GetServerTypeName(type), int(type));
    cbRemoteDatabase = named(new QComboBox(this), "cbRemoteDatabase");
    cbRemoteDatabase->setEditable(true);
    // The drop-down shows the history; typing a name must not add to it.
    cbRemoteDatabase->setInsertPolicy(QComboBox::NoInsert);
    cbRemoteDatabase->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    btBrowseRemoteDatabase = named(new QToolButton(this), "btBrowseRemoteDatabase");
    btBrowseRemoteDatabase->setText(QStringLiteral("..."));

    auto *remoteRow = new QHBoxLayout;
    remoteRow->addWidget(cbRemoteDatabase);
    remoteRow->addWidget(btBrowseRemoteDatabase);
    auto *form = new QFormLayout;
    form->addRow(label(this, tr("&Database name:"), edDatabaseName, "lblDatabaseName"),
                 edDatabaseName);
    form->addRow(label(this, tr("&Server type:"), cbServerType, "lblServerType"), cbServerType);
    form->addRow(label(this, tr("&Remote database:"), cbRemoteDatabase, "lblRemoteDatabase"),
                 remoteRow);

    cbKeepConnection = named(new QCheckBox(tr("&Keep connection"), this), "cbKeepConnection");
    cbLoginPrompt = named(new QCheckBox(tr("&Login prompt"), this), "cbLoginPrompt");
    cbDefaultDatabase = named(new QCheckBox(tr("De&fault database"), this), "cbDefaultDatabase");
    cbStoreConnected = named(new QCheckBox(tr("S&tore connected"), this), "cbStoreConnected");
    auto *options = named(new QGroupBox(tr("Options"), this), "gbOptions");
    auto *optionsLayout = new QVBoxLayout(options);
    for (QCheckBox *box : {cbKeepConnection, cbLoginPrompt, cbDefaultDatabase, cbStoreConnected})
        optionsLayout->addWidget(box);
    optionsLayout->addStretch();

    meParams = named(new QPlainTextEdit(this), "meParams");
    meParams->setFont(ovdlgs::codeFont());
    meParams->setLineWrapMode(QPlainTextEdit::NoWrap);
    btEditParams = named(new QPushButton(tr("&Parameters..."), this), "btEditParams");
    btLoadDefaultParams
        = named(new QPushButton(tr("L&oad default parameters"), this), "btLoadDefaultParams");
    btSaveDefaultParams
        = named(new QPushButton(tr("Sa&ve default parameters"), this), "btSaveDefaultParams");
    btSaveDefaultSrvType
        = named(new QPushButton(tr("Save server t&ype as default"), this), "btSaveDefaultSrvType");
    auto *params = named(new QGroupBox(tr("Connection parameters"), this), "gbParams");
    auto *paramsLayout = new QHBoxLayout(params);
    auto *paramsButtons = new QVBoxLayout;
    for (QPushButton *b : {btEditParams, btLoadDefaultParams, btSaveDefaultParams})
        paramsButtons->addWidget(b);
    paramsButtons->addStretch();
    paramsLayout->addWidget(meParams, 1);
    paramsLayout->addLayout(paramsButtons);

    btTest = named(new QPushButton(tr("&Test"), this), "btTest");
    btOk = named(new QPushButton(tr("OK"), this), "btOk");
    btCancel = named(new QPushButton(tr("Cancel"), this), "btCancel");
    btOk->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btTest);
    buttons->addWidget(btSaveDefaultSrvType);
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);

    auto *top = new QHBoxLayout;
    top->addLayout(form, 1);
    top->addWidget(options);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(params, 1);
    layout->addLayout(buttons);
    resize(560, 400);

    bindModalResult(btOk, mrOk);
    bindModalResult(btCancel, mrCancel);
    connect(btLoadDefaultParams, &QPushButton::clicked, this,
            [this] { btLoadDefaultParamsClick(); });
    connect(btSaveDefaultParams, &QPushButton::clicked, this,
            [this] { btSaveDefaultParamsClick(); });
    connect(btSaveDefaultSrvType, &QPushButton::clicked, this,
            [this] { btSaveDefaultSrvTypeClick(); });
    connect(btTest, &QPushButton::clicked, this, [this] { btTestClick(); });
    connect(btBrowseRemoteDatabase, &QToolButton::clicked, this,
            [this] { btBrowseRemoteDatabaseClick(); });
    connect(btEditParams, &QPushButton::clicked, this, [this] { btEditParamsClick(); });
    connect(meParams, &QPlainTextEdit::textChanged, this, [this] { paramsTextChanged(); });
    connect(cbServerType, &QComboBox::currentIndexChanged, this, [this] { serverTypeChanged(); });
}

void TOvDatabaseEditDlg::LoadData(TStrings *List)
{
    SetDatabaseName(QString());
    SetServerType(DefServerType);
    SetRemoteDatabase(QString());
    SetKeepConnection(true);
    SetLoginPrompt(true);
    SetDefaultDatabase(false);
    SetStoreConnected(false);
    if (!List)
        return;
    for (int i = 0; i < List->Count(); ++i) {
        const QString name = List->Names(i).trimmed();
        const QString value = List->ValueFromIndex(i);
        if (name.compare(QLatin1String("DatabaseName"), Qt::CaseInsensitive) == 0)
            SetDatabaseName(value);
        else if (name.compare(QLatin1String("ServerType"), Qt::CaseInsensitive) == 0)
            SetServerType(StrToServerTypeDef(value, ServerType()));
        else if (name.compare(QLatin1String("RemoteDatabase"), Qt::CaseInsensitive) == 0)
            SetRemoteDatabase(value);
        else if (name.compare(QLatin1String("KeepConnection"), Qt::CaseInsensitive) == 0)
            SetKeepConnection(isTrueText(value));
        else if (name.compare(QLatin1String("LoginPrompt"), Qt::CaseInsensitive) == 0)
            SetLoginPrompt(isTrueText(value));
        else if (name.compare(QLatin1String("DefaultDatabase"), Qt::CaseInsensitive) == 0)
            SetDefaultDatabase(isTrueText(value));
        else if (name.compare(QLatin1String("StoreConnected"), Qt::CaseInsensitive) == 0)
            SetStoreConnected(isTrueText(value));
    }
}

QString TOvDatabaseEditDlg::DatabaseName() const
{
    return edDatabaseName->text();
}

void TOvDatabaseEditDlg::SetDatabaseName(const QString &Value)
{
    edDatabaseName->setText(Value);
}

TOvServerType TOvDatabaseEditDlg::ServerType() const
{
    const QVariant data = cbServerType->currentData();
    return data.isValid() ? TOvServerType(data.toInt()) : DefServerType;
}

void TOvDatabaseEditDlg::SetServerType(TOvServerType Value)
{
    const int index = cbServerType->findData(int(Value));
    if (index >= 0)
        cbServerType->setCurrentIndex(index);
    serverTypeChanged();
}

QString TOvDatabaseEditDlg::RemoteDatabase() const
{
    return cbRemoteDatabase->currentText();
}

void TOvDatabaseEditDlg::SetRemoteDatabase(const QString &Value)
{
    cbRemoteDatabase->setEditText(Value);
}

void TOvDatabaseEditDlg::SetRemoteDatabaseHistory(TStrings *Value)
{
    m_history = Value;
    // Refilling the drop-down must not change the text being edited.
    const QString text = RemoteDatabase();
    cbRemoteDatabase->clear();
    if (Value)
        cbRemoteDatabase->addItems(Value->toStringList());
    cbRemoteDatabase->setCurrentIndex(-1);
    cbRemoteDatabase->setEditText(text);
}

bool TOvDatabaseEditDlg::KeepConnection() const
{
    return cbKeepConnection->isChecked();
}

void TOvDatabaseEditDlg::SetKeepConnection(bool Value)
{
    cbKeepConnection->setChecked(Value);
}

bool TOvDatabaseEditDlg::LoginPrompt() const
{
    return cbLoginPrompt->isChecked();
}

void TOvDatabaseEditDlg::SetLoginPrompt(bool Value)
{
    cbLoginPrompt->setChecked(Value);
}

bool TOvDatabaseEditDlg::DefaultDatabase() const
{
    return cbDefaultDatabase->isChecked();
}

void TOvDatabaseEditDlg::SetDefaultDatabase(bool Value)
{
    cbDefaultDatabase->setChecked(Value);
}

bool TOvDatabaseEditDlg::StoreConnected() const
{
    return cbStoreConnected->isChecked();
}

void TOvDatabaseEditDlg::SetStoreConnected(bool Value)
{
    cbStoreConnected->setChecked(Value);
}

void TOvDatabaseEditDlg::SetParams(TStrings *Value)
{
    if (!Value)
        m_params->Clear();
    else
        m_params->Assign(*Value);
    showParams();
}

void TOvDatabaseEditDlg::showParams()
{
    m_showingParams = true;
    meParams->setPlainText(ovdlgs::editorText(*m_params));
    m_showingParams = false;
}

void TOvDatabaseEditDlg::paramsTextChanged()
{
    if (!m_showingParams)
        m_params->SetText(meParams->toPlainText());
}

void TOvDatabaseEditDlg::serverTypeChanged()
{
    btBrowseRemoteDatabase->setToolTip(ServerType() == TOvServerType::stSQLite
                                           ? tr("Choose the database file")
                                           : tr("Enter the server and the database"));
}

void TOvDatabaseEditDlg::guarded(const std::function<void()> &Action)
{
    try {
        Action();
    } catch (const Exception &e) {
        MessageDlg(e.Message(), mtError, mbOK);
    } catch (const std::exception &e) {
        MessageDlg(QString::fromLocal8Bit(e.what()), mtError, mbOK);
    }
}

void TOvDatabaseEditDlg::btLoadDefaultParamsClick()
{
    guarded([this] {
        if (OnLoadDefaultParamsClick) {
            OnLoadDefaultParamsClick(this);
        } else if (GetDefaultParams) {
            TStringList defaults;
            GetDefaultParams(&defaults);
            SetParams(&defaults);
        }
    });
}

void TOvDatabaseEditDlg::btSaveDefaultParamsClick()
{
    guarded([this] {
        if (OnSaveDefaultParamsClick)
            OnSaveDefaultParamsClick(this);
    });
}

void TOvDatabaseEditDlg::btSaveDefaultSrvTypeClick()
{
    guarded([this] {
        if (OnSaveDefaultSrvTypeClick)
            OnSaveDefaultSrvTypeClick(this);
    });
}

void TOvDatabaseEditDlg::btBrowseRemoteDatabaseClick()
{
    guarded([this] {
        const QString chosen = InputRemoteDatabaseValue(ServerType(), RemoteDatabase());
        if (!chosen.isEmpty())
            SetRemoteDatabase(chosen);
    });
}

void TOvDatabaseEditDlg::btEditParamsClick()
{
    guarded([this] {
        // The editor writes into the very list on OK; show the result.
        if (ShowDatabaseParamsEditor(m_params.get(), ServerType(), nullptr, GetDefaultParams))
            showParams();
    });
}

void TOvDatabaseEditDlg::btTestClick()
{
    const QString remote = RemoteDatabase().trimmed();
    const QString shown = RemoteDatabaseForDisplay(remote);
    const QString caption = DatabaseName().isEmpty() ? shown : DatabaseName();
    if (remote.isEmpty()) {
        MessageDlg(SNoRemoteDatabase().arg(DatabaseName()), mtError, mbOK);
        return;
    }
    bool connected = false;
    QString failure;
    try {
        std::unique_ptr<TOvDriver> driver = CreateDriver(ServerType());
        TStringList params;
        params.Assign(*m_params);
        if (LoginPrompt() && driver->NeedsLogin()
            && !ovdlgs::loginDialog(QStringLiteral("%1 (%2)").arg(caption, shown), &params))
            return;
        {
            CursorGuard wait(crSQLWait);
            driver->Connect(remote, params);
            connected = true;
            driver->Disconnect();
        }
    } catch (const EOvDatabaseError &e) {
        failure = e.ServerMessage();
    } catch (const Exception &e) {
        failure = e.Message();
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    if (connected)
        MessageDlg(tr("Connected to %1 (%2).").arg(shown, GetServerTypeName(ServerType())),
                   mtInformation, mbOK);
    else
        MessageDlg(tr("Cannot connect to %1: %2").arg(shown, failure), mtError, mbOK);
}
