#pragma once

#include <QString>

// The library's resource strings. Functions, so a translation loaded later
// still reaches every caller.

// The text of the Boolean true value, as the Object Inspector shows it.
QString STextTrue();
QString STextFalse();
// The name under which the primary index is listed.
QString SPrimary();
// One %s: the table whose fields could not be read.
QString SSQLDataSetOpen();
QString SSQLNotGenerated();
QString SSQLGenSelect();
// %1: the table text that does not read as [owner.]table.
QString SSQLInvalidTableName();
// %1: the table whose indexes give no row key; the key fields are chosen by hand.
QString SSQLNoRowKey();
// %1: a table whose rows no statement can write (a materialized view).
QString SSQLReadOnlyTable();
// %1: the update fields whose new-value parameter would read as an old value.
QString SSQLOldValueParamClash();
// %1: the database, %2: one line per statement that did not prepare.
QString SSQLNotPrepared();
QString SNoDataSet();
QString SUpdateSQLEditor();
QString SEditSQLVerb();
QString SBindVerb();
QString SBindMacrosVerb();
QString SEditDatabaseVerb();
QString SDatasetDesignerVerb();

// Messages of the library's own errors.
QString SNotConnected();     // %1 database name
QString SDatabaseNotFound(); // %1 database name
QString SSessionNotFound();  // %1 session name
QString SNoDatabaseName();
QString SNoRemoteDatabase();     // %1 database name
QString SDatabaseFileNotFound(); // %1 file name
QString SConnectFailed();        // %1 database name, %2 server message
QString SNoDriver();             // %1 server type name
QString SFieldNotFound();        // %1 field name, %2 dataset name
QString SFieldsNotFound();       // %1 quoted field names, %2 dataset name
QString SDuplicateFieldName();   // %1 field name, %2 dataset name
QString SParamNotFound();        // %1 parameter name, %2 dataset name
QString SNoSQLStatement();       // %1 dataset name
QString SNoTableName();          // %1 dataset name
QString SNoStoredProcName();     // %1 dataset name
QString SStoredProcNotFound();   // %1 procedure name
QString SDataSetClosed();        // %1 dataset name
QString SDataSetOpen();          // %1 dataset name
QString SNoSQLBaseClient();
// A cursor's next page no longer starts where the last one ended.
QString SRowsChanged();
QString SRowsRolledBack();
QString SResultTooLarge();
QString SNotARegularFile();
// %1 component name, %2 database name, %3 server message
QString SLockWait();
QString SParamsFileRead(); // %1 file name
QString SIndexNotFound();  // %1 index name, %2 table name
