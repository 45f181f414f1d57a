#pragma once

#include "rtl/Classes.h"

#include <QList>
#include <QObject>
#include <QString>

class TIndexDefs;
class TOvDatabase;
class TOvSessionList;
TOvSessionList &Sessions();

// A session: the namespace in which database components are found by their
// DatabaseName. The default session (Session()) always exists; TOvSession
// components join the session list (Sessions()) under their SessionName.
// Databases and datasets name their session; an empty name means the
// default session. Names are stored as given and compared without regard to
// letter case or surrounding blanks.
class TOvSession : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString SessionName READ SessionName WRITE SetSessionName)
    Q_PROPERTY(bool KeepConnections READ KeepConnections WRITE SetKeepConnections)

public:
    Q_INVOKABLE explicit TOvSession(QObject *AOwner = nullptr);
    ~TOvSession() override;

    QString SessionName() const { return m_sessionName; }
    void SetSessionName(const QString &Value);
    // Whether databases opened by the session for a look-up stay connected
    // afterwards; a database's own KeepConnection must allow it as well.
    bool KeepConnections() const { return m_keepConnections; }
    void SetKeepConnections(bool Value) { m_keepConnections = Value; }
    bool IsDefault() const;

    // The database components of this session, in creation order.
    QList<TOvDatabase *> Databases() const;
    // The database component named DatabaseName (letter case ignored), or null.
    TOvDatabase *FindDatabase(const QString &DatabaseName) const;
    // The database named DatabaseName, connected; raises when there is none
    // or it cannot connect.
    TOvDatabase *OpenDatabase(const QString &DatabaseName);

    // Each fills List (cleared first). Database look-ups connect the named
    // database when it is not connected (and disconnect it afterwards unless
    // connections are kept); an unknown database raises, an empty database
    // name lists nothing.
    // The names of the session's databases, sorted, without duplicates.
    void GetDatabaseNames(TStrings *List) const;
    // Table (and view) names of a database. Pattern is a wildcard pattern
    // ("*" any run, "?" one character, letter case ignored) matched against
    // the name; empty means all. "%" and "_" are ordinary characters.
    // System tables are listed only when SystemTables is set.
    void GetTableNames(const QString &DatabaseName, const QString &Pattern, bool SystemTables,
                       TStrings *List);
    void GetStoredProcNames(const QString &DatabaseName, TStrings *List);
    // Column names of TableName in table order; empty when the table does not
    // exist or has no columns. TableName is a name, never SQL: it may carry an
    // owner ("sales.customer") and quotes ("Mixed Case").
    void GetFieldNames(const QString &DatabaseName, const QString &TableName, TStrings *List);
    // The indexes of TableName (Defs cleared first), one definition each, in
    // the order of index information (the primary key first, then by name):
    // the primary key named SPrimary() with ixPrimary and ixUnique, the
    // others under their own names; Fields holds the key columns in key
    // order, ";" separated (an expression key lists only its plain columns),
    // and Options adds ixUnique, ixExpression and ixPartial as they apply.
    // An unknown table, or no table name, gives none.
    void GetIndexDefs(const QString &DatabaseName, const QString &TableName, TIndexDefs *Defs);

private:
    friend class TOvDatabase;
    friend TOvSessionList &Sessions();
    struct DefaultSessionTag
    {};
    explicit TOvSession(DefaultSessionTag);
    // Runs Action on the connected database, closing it again afterwards when
    // it was closed before and connections are not kept.
    template<class F>
    void withDatabase(const QString &DatabaseName, F Action);

    QString m_sessionName;
    bool m_keepConnections = true;
};

// The list of sessions: the default session first, then every TOvSession
// component with a non-empty SessionName, in creation order.
class TOvSessionList
{
public:
    int GetCount() const;
    int Count() const { return GetCount(); }
    // The session at Index; EListError when out of range.
    TOvSession *GetSession(int Index) const;
    // The session named Name (letter case ignored); the default session for
    // an empty name; null for an unknown name.
    TOvSession *FindSession(const QString &Name) const;
    // As FindSession, but an unknown name raises.
    TOvSession *GetSessionByName(const QString &Name) const;

private:
    friend class TOvSession;
    friend TOvSessionList &Sessions();
    friend TOvSession *Session();
    TOvSessionList();
    QList<TOvSession *> visible() const;

    TOvSession *m_default = nullptr;
    QList<TOvSession *> m_sessions; // every TOvSession but the default one
};

// The session list and the default session (named "Default"). Both exist for
// the life of the process.
TOvSessionList &Sessions();
TOvSession *Session();
