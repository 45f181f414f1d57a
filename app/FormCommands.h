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

// createMissingEmbeddedDatabases: see EmbeddedDatabases.h.
