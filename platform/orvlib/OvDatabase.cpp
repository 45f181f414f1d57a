#include "orvlib/OvDatabase.h"
#include "OvPrivate.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDlgs.h"
#include "orvlib/OvDlgsParams.h"
#include "orvlib/OvCatalogueCache.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"

#include "rtl/Abort.h"
#include "rtl/SysUtils.h"

#include <QFile>

namespace {
TOvLoginDialogHook &loginHook()
{
    static TOvLoginDialogHook hook;
    return hook;
}
} // namespace

void SetLoginDialogHook(TOvLoginDialogHook Hook)
{
    loginHook() = std::move(Hook);
}

TOvDatabase::TOvDatabase(QObject *AOwner)
    : QObject(AOwner)
    , m_serverType(DefServerType)
    , m_params(std::make_unique<TStringList>())
{
    ovlib::allDatabases().append(this);
}

TOvDatabase::~TOvDatabase()
{
    ovlib::allDatabases().removeOne(this);
    if (Connected())
        Q_EMIT BeforeDisconnect(); // open datasets close while the database still exists
    if (m_driver) {
        try {
            m_driver->Disconnect();
        } catch (...) {
            // a destructor cannot report; the handle is gone either way
        }
    }
}

void TOvDatabase::SetDatabaseName(const QString &Value)
{
    m_databaseName = Value;
}

void TOvDatabase::SetRemoteDatabase(const QString &Value)
{
    if (Value == m_remoteDatabase)
        return;
    Close();
    m_remoteDatabase = Value;
}

void TOvDatabase::SetServerType(TOvServerType Value)
{
    if (Value == m_serverType)
        return;
    Close();
    m_serverType = Value;
}

void TOvDatabase::SetSessionName(const QString &Value)
{
    m_sessionName = Value;
}

void TOvDatabase::SetParams(TStrings *Value)
{
    if (!Value)
        m_params->Clear();
    else
        m_params->Assign(*Value); // Assign leaves a list assigned to itself alone
}

bool TOvDatabase::Connected() const
{
    return m_driver && m_driver->IsConnected();
}

TOvSession *TOvDatabase::Session() const
{
    return Sessions().GetSessionByName(m_sessionName);
}

void TOvDatabase::GetEffectiveParams(TStrings &List) const
{
    List.Clear();
    if (!m_paramsFileName.trimmed().isEmpty()) {
        QFile file(m_paramsFileName);
        if (!file.open(QIODevice::ReadOnly))
            throw Exception(SParamsFileRead().arg(m_paramsFileName));
        List.LoadFromStream(file);
    }
    for (int i = 0; i < m_params->Count(); ++i) {
        const QString name = m_params->Names(i);
        if (name.isEmpty())
            continue;
        const int at = List.IndexOfName(name);
        if (at >= 0)
            List.Put(at, m_params->Strings(i));
        else
            List.Add(m_params->Strings(i));
    }
}

void TOvDatabase::SetConnected(bool Value)
{
    if (Value) {
        if (Connected())
            return;
        // A connection the server dropped is closed properly first, so what
        // hangs on it (open datasets) hears of it before the new one opens.
        if (m_driver)
            SetConnected(false);
        connectNow();
        return;
    }
    if (!m_driver)
        return;
    Q_EMIT BeforeDisconnect();
    std::unique_ptr<TOvDriver> driver = std::move(m_driver);
    TOvMonitor::Trace(QStringLiteral("Disconnect %1").arg(m_databaseName));
    driver->Disconnect();
}

void TOvDatabase::connectNow()
{
    if (m_remoteDatabase.trimmed().isEmpty())
        throw Exception(SNoRemoteDatabase().arg(m_databaseName));
    std::unique_ptr<TOvDriver> driver = CreateDriver(m_serverType);
    TStringList params;
    GetEffectiveParams(params);
    const bool login = m_loginPrompt && driver->NeedsLogin();
    if (login && !AskLogin(params))
        throw EAbort(SConnectFailed().arg(m_databaseName, QStringLiteral("login cancelled")));
    try {
        TOvMonitor::Trace(QStringLiteral("Connect %1 (%2 %3)")
                              .arg(m_databaseName, GetServerTypeName(m_serverType),
                                   RemoteDatabaseForDisplay(m_remoteDatabase)));
        driver->Connect(m_remoteDatabase, params);
    } catch (const EOvDatabaseError &e) {
        throw EOvDatabaseError(SConnectFailed().arg(m_databaseName, e.ServerMessage()),
                               e.ServerMessage())
            .SetNeedsPassword(e.NeedsPassword())
            .SetLocked(e.Locked());
    }
    // Catalogue answers are kept for as long as this connection lasts.
    m_driver = std::make_unique<TOvCatalogueCache>(std::move(driver));
    if (login)
        SetSessionLogin(params);
    Q_EMIT AfterConnect();
}

void TOvDatabase::SetSessionLogin(const TStrings &Params)
{
    m_sessionLogin.clear();
    for (const char *key : {"USER NAME", "PASSWORD"})
        if (Params.IndexOfName(QLatin1String(key)) >= 0)
            m_sessionLogin << QLatin1String(key) + u'=' + Params.Values(QLatin1String(key));
}

bool TOvDatabase::AskLogin(TStrings &Params)
{
    // The component's handler, else an installed hook, else the login
    // dialog, shown through the modal seam.
    const auto &hook = OnLogin ? OnLogin : loginHook();
    return hook ? hook(this, &Params) : LoginDialog(this, &Params);
}

TOvDriver &TOvDatabase::Driver() const
{
    if (!Connected())
        throw Exception(SNotConnected().arg(m_databaseName));
    return *m_driver;
}

TOvCatalogueCache *TOvDatabase::Catalogue() const
{
    return Connected() ? m_driver.get() : nullptr;
}

void TOvDatabase::RefreshCatalogue()
{
    if (TOvCatalogueCache *cache = Catalogue())
        cache->Clear();
    Q_EMIT CatalogueRefreshed();
}

bool TOvDatabase::IsObjOwnerSupported() const
{
    return m_serverType != TOvServerType::stSQLite;
}

qint64 TOvDatabase::ExecSQL(const QString &SQL)
{
    Open();
    TOvMonitor::Trace(SQL);
    return m_driver->Execute(SQL, {}).RowsAffected;
}

std::unique_ptr<TDataSet> TOvDatabase::GetSchemaInfo(TOvSchemaType SchemaType,
                                                     const QString &ObjectName)
{
    Open();
    TOvDriver &driver = *m_driver;
    QList<TFieldDesc> fields;
    std::vector<QVariantList> rows;
    auto field = [&fields](const char *Name, TFieldType Type) {
        fields.append({QString::fromLatin1(Name), Type, {}, {}});
    };
    switch (SchemaType) {
    case TOvSchemaType::stTables:
    case TOvSchemaType::stSysTables: {
        field("TABLE_NAME", TFieldType::ftString);
        const QStringList names = SchemaType == TOvSchemaType::stSysTables
                                      ? driver.SystemTableNames(ObjectName)
                                      : driver.MatchingTableNames(false, ObjectName);
        rows.reserve(names.size());
        for (const QString &name : names)
            rows.push_back({name});
        break;
    }
    case TOvSchemaType::stProcedures:
        field("PROCEDURE_NAME", TFieldType::ftString);
        for (const QString &name : driver.ProcedureNames()) {
            if (ovlib::matchesPattern(name, ObjectName))
                rows.push_back({name});
        }
        break;
    case TOvSchemaType::stColumns:
        field("COLUMN_NAME", TFieldType::ftString);
        field("COLUMN_POSITION", TFieldType::ftInteger);
        field("COLUMN_TYPE", TFieldType::ftString);
        field("COLUMN_NULLABLE", TFieldType::ftInteger);
        field("COLUMN_GENERATED", TFieldType::ftInteger);
        field("COLUMN_IDENTITY_ALWAYS", TFieldType::ftInteger);
        for (const TOvColumnInfo &c : driver.Columns(ObjectName))
            rows.push_back({c.Name, c.Position, c.TypeName, c.Nullable ? 1 : 0, c.Generated ? 1 : 0,
                            c.IdentityAlways ? 1 : 0});
        break;
    case TOvSchemaType::stProcedureParams:
        field("PARAM_NAME", TFieldType::ftString);
        field("PARAM_POSITION", TFieldType::ftInteger);
        field("PARAM_TYPE", TFieldType::ftInteger);
        field("PARAM_DATATYPE", TFieldType::ftString);
        if (driver.ProcedureExists(ObjectName)) {
            for (const TOvProcParamInfo &p : driver.ProcedureParams(ObjectName)) {
                int kind = 0;
                switch (p.ParamType) {
                case TParamType::ptOutput:
                    kind = 1;
                    break;
                case TParamType::ptInputOutput:
                    kind = 2;
                    break;
                case TParamType::ptResult:
                    kind = 3;
                    break;
                default:
                    kind = 0;
                    break;
                }
                rows.push_back({p.Name, p.Position, kind, p.TypeName});
            }
        }
        break;
    case TOvSchemaType::stIndexes:
        field("INDEX_NAME", TFieldType::ftString);
        field("INDEX_TYPE", TFieldType::ftInteger);
        field("COLUMN_NAME", TFieldType::ftString);
        field("COLUMN_POSITION", TFieldType::ftInteger);
        for (const TOvIndexColumn &c : driver.IndexColumns(ObjectName)) {
            rows.push_back({c.IndexName, c.IndexType,
                            c.ColumnName.isNull() ? QVariant() : QVariant(c.ColumnName),
                            c.Position});
        }
        break;
    }
    auto result = std::make_unique<TMemDataSet>();
    result->setObjectName(QStringLiteral("SchemaInfo"));
    result->OpenWithData(fields, std::move(rows));
    return result;
}
