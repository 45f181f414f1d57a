#pragma once

#include "EmbeddedDatabases.h"

#include <QString>
#include <QStringList>

class QTextStream;

// The designer's command-line tools on form files. Each runs the same code
// the designer runs (the form reader and writer, the package's structure
// view nodes and its UpdateSQL editor form) and returns the process exit status:
// 0 done, 1 findings (flagged nodes, warnings, failed checks), 2 an error
// that stopped the command (reported as one line on Err; nothing written).

// Exit statuses.
enum { ExitOk = 0, ExitFindings = 1, ExitError = 2 };

// The structure view of FormFile, one node a line, indented by depth, with
// "  [problem]" after a flagged node; then one "warning: ..." line for each
// connected database or password the form stores.
int runTree(const QString &FormFile, QTextStream &Out, QTextStream &Err);

struct GenSqlOptions
{
    QString FormFile;
    QString UpdateObject;
    bool Write = false;
    bool Check = false;
    // DATABASE=REMOTE pairs: the remote database used for this run instead
    // of the one the form stores (never written to the form).
    QStringList RemoteOverrides;
};

// Runs the UpdateSQL editor on an update object of FormFile without showing
// it: the defaults it opens with, Select Primary Keys, Generate SQL, OK.
// Prints the four statements, or writes them into the form file. With
// Check, prepares each statement on the database and checks its parameters
// against the dataset's fields.
int runGenSql(const GenSqlOptions &Options, QTextStream &Out, QTextStream &Err);

struct CheckOptions
{
    QString FormFile;
    bool Json = false;
    // DATABASE=REMOTE pairs, as for GenSqlOptions.
    QStringList RemoteOverrides;
};

// Checks the module of FormFile against its databases (TModuleCheck): one
// line per finding, "FORM(LINE): Component.Property: message", then a
// summary line; with Json a JSON array of the findings instead (the summary
// goes to Err). Nothing is run, connected in the form or written. Status 0
// when nothing is wrong (information alone is not), 1 when something is, 2 when
// the module could not be checked at all (unreadable, or none of its
// datasets could reach its database).
int runCheck(const CheckOptions &Options, QTextStream &Out, QTextStream &Err);

// createMissingEmbeddedDatabases: see EmbeddedDatabases.h.
