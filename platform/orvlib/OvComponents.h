#pragma once

#include "rtl/Classes.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class TOvSession;
class TOvDatabase;

// Runs a script: several statements separated by the Terminator, a symbol
// (";" by default); a line holding only "/" or "go" also ends a statement. The
// separator is recognised only outside string literals, quoted names and
// comments.
class TOvScript : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString SessionName READ SessionName WRITE SetSessionName)
    Q_PROPERTY(QString DatabaseName READ DatabaseName WRITE SetDatabaseName)
    Q_PROPERTY(TStrings *SQL READ SQL WRITE SetSQL)
    Q_PROPERTY(QString Terminator READ Terminator WRITE SetTerminator)
    Q_PROPERTY(bool ContinueOnError READ ContinueOnError WRITE SetContinueOnError)

public:
    Q_INVOKABLE explicit TOvScript(QObject *AOwner = nullptr);
    ~TOvScript() override;

    QString SessionName() const { return m_sessionName; }
    void SetSessionName(const QString &Value) { m_sessionName = Value; }
    QString DatabaseName() const { return m_databaseName; }
    void SetDatabaseName(const QString &Value) { m_databaseName = Value; }
    TStrings *SQL() const { return m_sql.get(); }
    void SetSQL(TStrings *Value);
    QString Terminator() const { return m_terminator; }
    void SetTerminator(const QString &Value) { m_terminator = Value; }
    bool ContinueOnError() const { return m_continueOnError; }
    void SetContinueOnError(bool Value) { m_continueOnError = Value; }

    // The session named by SessionName (default session for an empty name);
    // raises for an unknown one.
    TOvSession *GetDBSession() const;
    // The statements of the script, in order, without their terminators.
    QStringList Statements() const;
    // Runs every statement on the script's database. Stops at the first
    // failure (raising it) unless ContinueOnError; returns the number of
    // statements that ran without error.
    int ExecScript();
    // The errors met by the last ExecScript with ContinueOnError.
    QStringList Errors() const { return m_errors; }

private:
    QString m_sessionName;
    QString m_databaseName;
    std::unique_ptr<TStringList> m_sql;
    QString m_terminator = QStringLiteral(";");
    bool m_continueOnError = false;
    QStringList m_errors;
};

// Watches the statements the library sends to servers. While Active, every
// statement of every database (and every connect and disconnect) is passed
// to OnSQL and kept in Lines (at most MaxLines, oldest dropped).
class TOvMonitor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(int MaxLines READ MaxLines WRITE SetMaxLines)

public:
    Q_INVOKABLE explicit TOvMonitor(QObject *AOwner = nullptr);
    ~TOvMonitor() override;

    bool Active() const { return m_active; }
    void SetActive(bool Value) { m_active = Value; }
    int MaxLines() const { return m_maxLines; }
    void SetMaxLines(int Value);
    TStrings *Lines() const { return m_lines.get(); }

    std::function<void(TOvMonitor *Sender, const QString &Text)> OnSQL;

    // Hands Text to every active monitor; called by the library.
    static void Trace(const QString &Text);

private:
    bool m_active = false;
    int m_maxLines = 1000;
    std::unique_ptr<TStringList> m_lines;
};

// A Gupta SQLBase server: the server-level connection used to list and
// manage its databases. No SQLBase client library exists on this platform,
// so Connected raises a clear error; the properties are kept and streamed.
class TOvSQLBaseServer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString ServerName READ ServerName WRITE SetServerName)
    Q_PROPERTY(QString Password READ Password WRITE SetPassword)
    Q_PROPERTY(bool Connected READ Connected WRITE SetConnected STORED false)

public:
    Q_INVOKABLE explicit TOvSQLBaseServer(QObject *AOwner = nullptr);

    QString ServerName() const { return m_serverName; }
    void SetServerName(const QString &Value) { m_serverName = Value; }
    QString Password() const { return m_password; }
    void SetPassword(const QString &Value) { m_password = Value; }
    bool Connected() const { return false; }
    // True raises: there is no SQLBase client to connect with.
    void SetConnected(bool Value);
    void GetDatabaseNames(TStrings *List);

private:
    QString m_serverName;
    QString m_password;
};
