#pragma once

#include "orvlib/DB.h"
#include "orvlib/OvTypes.h"

#include "rtl/Classes.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TOvCatalogueCache;
class TOvDriver;
class TOvSession;

// A connection to one database. RemoteDatabase says which: for SQLite the
// database file; for PostgreSQL "host[:port]/dbname", "dbname" (local
// server) or a libpq connection string ("host=... dbname=..."). Params holds
// name=value connection parameters (USER NAME, PASSWORD, CREATE, ...);
// ParamsFileName names a file of further lines, read at connect time, whose
// values Params overrides.
class TOvDatabase : public QObject
{
    Q_OBJECT
    // A new database takes DefServerType, which the design settings may
    // change: a form stores the server type whatever it is.
    Q_CLASSINFO("nodefault", "ServerType")
    Q_PROPERTY(QString DatabaseName READ DatabaseName WRITE SetDatabaseName)
    Q_PROPERTY(QString RemoteDatabase READ RemoteDatabase WRITE SetRemoteDatabase)
    Q_PROPERTY(OvTypes::TOvServerType ServerType READ ServerType WRITE SetServerType)
    Q_PROPERTY(QString SessionName READ SessionName WRITE SetSessionName)
    Q_PROPERTY(TStrings *Params READ Params WRITE SetParams)
    Q_PROPERTY(QString ParamsFileName READ ParamsFileName WRITE SetParamsFileName)
    Q_PROPERTY(bool KeepConnection READ KeepConnection WRITE SetKeepConnection)
    Q_PROPERTY(bool LoginPrompt READ LoginPrompt WRITE SetLoginPrompt)
    Q_PROPERTY(TOvDesignDBOptions DesignOptions READ DesignOptions WRITE SetDesignOptions)
    Q_PROPERTY(bool Connected READ Connected WRITE SetConnected)

public:
    Q_INVOKABLE explicit TOvDatabase(QObject *AOwner = nullptr);
    ~TOvDatabase() override;

    QString DatabaseName() const { return m_databaseName; }
    void SetDatabaseName(const QString &Value);
    QString RemoteDatabase() const { return m_remoteDatabase; }
    // Changing the remote database of a connected database disconnects it.
    void SetRemoteDatabase(const QString &Value);
    TOvServerType ServerType() const { return m_serverType; }
    // Changing the server type of a connected database disconnects it.
    void SetServerType(TOvServerType Value);
    QString SessionName() const { return m_sessionName; }
    void SetSessionName(const QString &Value);
    // The database's own list; the setter copies (safe with the list itself).
    TStrings *Params() const { return m_params.get(); }
    void SetParams(TStrings *Value);
    QString ParamsFileName() const { return m_paramsFileName; }
    void SetParamsFileName(const QString &Value) { m_paramsFileName = Value; }
    bool KeepConnection() const { return m_keepConnection; }
    void SetKeepConnection(bool Value) { m_keepConnection = Value; }
    bool LoginPrompt() const { return m_loginPrompt; }
    void SetLoginPrompt(bool Value) { m_loginPrompt = Value; }
    TOvDesignDBOptions DesignOptions() const { return m_designOptions; }
    void SetDesignOptions(TOvDesignDBOptions Value) { m_designOptions = Value; }

    bool Connected() const;
    // True connects for real: a failure raises with the server's message and
    // leaves the database disconnected. False disconnects.
    void SetConnected(bool Value);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }
    // Whether a form file should store Connected: only with ddoStoreConnected.
    Q_INVOKABLE bool IsConnectedStored() const
    {
        return m_designOptions.Contains(ddoStoreConnected);
    }

    // The session the database belongs to; raises when SessionName names none.
    TOvSession *Session() const;
    // The connection parameters in force: the file's lines, then Params over them.
    void GetEffectiveParams(TStrings &List) const;

    // Catalogue information as a new open dataset, owned by the caller.
    // ObjectName is a table (columns, indexes), a procedure (parameters) or
    // a wildcard pattern (tables, procedures). Index information has one row
    // per index column with INDEX_NAME, INDEX_TYPE (bits: 4 primary key,
    // 2 unique, 8 expression), COLUMN_NAME, COLUMN_POSITION, ordered by index
    // (the primary key first, then by name) and then column position. An
    // unknown object gives an empty dataset. Connects when needed.
    std::unique_ptr<TDataSet> GetSchemaInfo(TOvSchemaType SchemaType, const QString &ObjectName);

    // Runs a statement that returns no rows; returns the rows affected.
    qint64 ExecSQL(const QString &SQL);
    bool IsObjOwnerSupported() const;

    // The open connection; raises when not connected. Its catalogue
    // answers are kept (see TOvCatalogueCache) until the connection closes
    // or RefreshCatalogue.
    TOvDriver &Driver() const;
    // What the open connection keeps of the catalogue; null when not connected.
    TOvCatalogueCache *Catalogue() const;
    // Forgets what was read of the catalogue, so that lists and fields are
    // read again from the server (a person's Refresh).
    void RefreshCatalogue();

    // Asked before a connection with LoginPrompt set opens; fills the user
    // name and password into the given list; false cancels the connection.
    // Without a handler the installed hook decides, and without a hook the
    // login dialog of OvDlgs is shown through the modal seam.
    std::function<bool(TOvDatabase *Database, TStrings *LoginParams)> OnLogin;
    // Asks for a login into Params as connecting does (OnLogin, else the
    // hook, else the dialog); false when it was cancelled.
    bool AskLogin(TStrings &Params);
    // The user name and password ("USER NAME=", "PASSWORD=") the last login
    // asked for in this run gave to a connection that opened; never stored
    // in the form. Empty before any.
    QStringList SessionLogin() const { return m_sessionLogin; }
    // Keeps the login Params hold as the session's (a connection of a
    // tool's own opened with it).
    void SetSessionLogin(const TStrings &Params);

Q_SIGNALS:
    void AfterConnect();
    void BeforeDisconnect();
    // RefreshCatalogue ran: lists read before are out of date.
    void CatalogueRefreshed();

private:
    void connectNow();

    QString m_databaseName;
    QString m_remoteDatabase;
    TOvServerType m_serverType;
    QString m_sessionName;
    std::unique_ptr<TStringList> m_params;
    QString m_paramsFileName;
    bool m_keepConnection = true;
    bool m_loginPrompt = true;
    TOvDesignDBOptions m_designOptions;
    std::unique_ptr<TOvCatalogueCache> m_driver;
    QStringList m_sessionLogin;
};

// Replaces the login dialog for every database without an OnLogin handler
// (a host with a login of its own, or a test); null restores the dialog.
using TOvLoginDialogHook = std::function<bool(TOvDatabase *Database, TStrings *LoginParams)>;
void SetLoginDialogHook(TOvLoginDialogHook Hook);
