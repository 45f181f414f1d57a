#pragma once

#include <QString>

class TOvDataSet;
class TOvDatabase;
class TOvStoredProc;

// Small routines of the registration unit shared by editors and nodes.

// The stored procedure's database: its session by name (an unknown session
// raises), then the database of its DatabaseName there, or null.
TOvDatabase *FindStoredProcDatabase(TOvStoredProc *StoredProc);

// Whether the dataset's database exists in its session and is connected.
// Never connects and never raises for an unknown session.
bool IsDataSetDatabaseConnected(TOvDataSet *DataSet);
