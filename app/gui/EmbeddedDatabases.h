#pragma once

#include <QStringList>

class QObject;

// Creates the SQLite database file of every database component of Root
// whose file is missing from the SQL script of the same name beside it
// (demo.db from demo.sql). The file appears whole or not at all, and is never
// replaced: should another process create it meanwhile, its file is used.
// Returns the files this call created.
QStringList createMissingEmbeddedDatabases(QObject *Root);
