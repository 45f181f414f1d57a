#pragma once

#include "designide/FormFile.h"
#include "orvlib/DB.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TOvDataSet;
class TOvDatabase;
class TOvDriver;
class TStrings;

// How bad a finding is. Errors and warnings make a module fail its check;
// information (a column no persistent field reads, a component left
// unchecked because its database could not be reached) does not.
enum class TCheckSeverity { Error, Warning, Info };

QString severityName(TCheckSeverity Severity);

// One finding, on one component and (when it is about one) one property.
struct TCheckProblem
{
    QPointer<QObject> Component;
    QString ComponentName;
    QString Property; // empty when the finding is about the component as a whole
    TCheckSeverity Severity = TCheckSeverity::Error;
    QString Message;
    int Line = 0; // where the component or property starts in the form file; 0 unknown
};

// Checks a data module against the databases it names, without changing
// either: every dataset's SQL, every update object's statements and every
// stored procedure are prepared on the server and never run; tables, columns,
// indexes and procedure parameters are read from the catalogue. The check
// opens connections of its own (read-only where the server allows it) and
// leaves the module's components as they are: no database component is
// connected, no dataset opened. A database's connection takes the user name
// and password its login gave in this run (SessionLogin); one that needs a
// password nobody gave asks the login function, when there is one, once per
// database and check, and otherwise fails at once and is reported on its
// database.
//
// The work is cut into steps (the structure first, a slice of components a
// step, then for each slice of datasets one step that reads ahead from the
// servers, in a few round trips, what the slice's checks will ask, and one
// dataset with its fields, update object and links per step) so that a window can
// run it a step at a time, show progress and stop in between. A component freed between two steps
// is passed over.
class TModuleCheck
{
public:
    // Root: the module. Sources, when given, places findings on lines of the
    // form file the module was read from; it must outlive the check.
    explicit TModuleCheck(QObject *Root, const TFormSourceMap *Sources = nullptr);
    ~TModuleCheck();
    TModuleCheck(const TModuleCheck &) = delete;
    TModuleCheck &operator=(const TModuleCheck &) = delete;

    // Connects the database component named Database (letter case ignored)
    // to Remote for this check instead of its own RemoteDatabase; raises
    // when the module has no such database component.
    void SetRemoteDatabase(const QString &Database, const QString &Remote);
    // Asks a person for a database's login into Params (TOvDatabase::AskLogin
    // in a window); false when cancelled. None by default: nobody to ask.
    using LoginFunction = std::function<bool(TOvDatabase *Database, TStrings &Params)>;
    void SetLogin(LoginFunction Login) { m_login = std::move(Login); }

    int StepCount() const { return int(m_steps.size()); }
    int StepsDone() const { return m_next; }
    bool Done() const { return m_next >= StepCount(); }
    // Runs the next step; nothing once done.
    void Step();
    void Run();

    const QList<TCheckProblem> &Problems() const { return m_problems; }
    // Findings of each severity so far.
    int Count(TCheckSeverity Severity) const;
    // Datasets checked against their database, and those that could not be
    // (their database unknown or unreachable).
    int CheckedDataSets() const { return m_checked; }
    int UncheckedDataSets() const { return m_unchecked; }
    // Whether the module has datasets and none of them could be checked.
    bool NothingChecked() const { return m_unchecked > 0 && m_checked == 0; }
    // "N errors, N warnings, N info; N of N datasets checked".
    QString Summary() const;

private:
    struct Connection;
    struct Columns
    {
        bool Known = false; // false: the statement or table did not resolve
        QList<TFieldDesc> Fields;
    };

    // The names and settings of components From to To (exclusive).
    void checkStructure(int From, int To);
    void checkDataSet(TOvDataSet *DataSet);
    void checkMasterCycles();
    // The database a dataset's statements go to, connected; null (and
    // reported) when there is none or it cannot be reached.
    Connection *connectionFor(TOvDataSet *DataSet);
    Connection *connect(TOvDatabase *Database);
    // The connection of DataSet's database, opened on first use; null when
    // the module names no such database.
    Connection *reach(TOvDataSet *DataSet);
    // Reads ahead what the checks of DataSets will ask of their servers.
    void readAhead(const QList<QPointer<TOvDataSet>> &DataSets);
    // The result columns of DataSet, described once (also for a detail's
    // master); reports what fails on DataSet when Report is set.
    const Columns &columnsOf(TOvDataSet *DataSet, bool Report);
    Columns describeDataSet(TOvDataSet *DataSet, Connection &Conn, bool Report);
    void checkFields(TOvDataSet *DataSet, const Columns &Cols);
    void checkUpdateObject(TOvDataSet *DataSet, Connection &Conn, const Columns &Cols);
    void checkTableLinks(TOvDataSet *DataSet, Connection &Conn, const Columns &Cols);
    void checkStoredProc(TOvDataSet *DataSet, Connection &Conn);
    void add(QObject *Component, const QString &Property, TCheckSeverity Severity,
             const QString &Message);

    QObject *m_root;
    const TFormSourceMap *m_sources;
    QList<QPointer<QObject>> m_components;
    std::vector<std::function<void()>> m_steps;
    int m_next = 0;
    QList<TCheckProblem> m_problems;
    QHash<const TOvDatabase *, QString> m_remotes;
    LoginFunction m_login;
    QHash<const TOvDatabase *, std::shared_ptr<Connection>> m_connections;
    QHash<const TOvDataSet *, Columns> m_columns; // described in their own step
    QHash<const TOvDataSet *, Columns> m_probed;  // described for a detail
    int m_checked = 0;
    int m_unchecked = 0;
};
