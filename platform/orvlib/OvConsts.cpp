#include "orvlib/OvConsts.h"

#include <QCoreApplication>

namespace {
QString tr(const char *Text)
{
    return QCoreApplication::translate("OvConsts", Text);
}
} // namespace

QString STextTrue()
{
    return tr("True");
}
QString STextFalse()
{
    return tr("False");
}
QString SPrimary()
{
    return tr("<Primary>");
}
QString SSQLDataSetOpen()
{
    return tr("Unable to determine field names for %s");
}
QString SSQLNotGenerated()
{
    return tr("Update SQL statements not generated, exit anyway?");
}
QString SSQLGenSelect()
{
    return tr("Must select at least one key field and one update field");
}
QString SSQLNoRowKey()
{
    return tr("Table %1 has no primary key or unique index on NOT NULL columns, so no key "
              "identifies one row. Choose the key fields by hand: on the Options page, select in "
              "Key Fields the columns whose values together identify one row (click, and "
              "Ctrl+click to add more), then Generate SQL");
}
QString SSQLReadOnlyTable()
{
    return tr("%1 is a materialized view: no statement can change its rows. Generate the "
              "statements for the table it is made from");
}
QString SSQLInvalidTableName()
{
    return tr("%1 is not a valid table name. Write it as table or owner.table, and put a name "
              "that holds dots, quotes or surrounding blanks in double quotes");
}
QString SSQLOldValueParamClash()
{
    return tr("The parameters of these update fields would be read as old values (OLD_ "
              "prefix): %1. Deselect them from the update fields");
}
QString SSQLNotPrepared()
{
    return tr("These statements do not prepare on database %1:\n\n%2\n\nGo back and edit them? "
              "(No keeps them as they are; Cancel goes back too.)");
}
QString SNoDataSet()
{
    return tr("No dataset association");
}
QString SUpdateSQLEditor()
{
    return tr("&UpdateSQL Editor...");
}
QString SEditSQLVerb()
{
    return tr("&Edit SQL...");
}
QString SBindVerb()
{
    return tr("Define &Parameters...");
}
QString SBindMacrosVerb()
{
    return tr("Define &Macros...");
}
QString SEditDatabaseVerb()
{
    return tr("Database &Editor...");
}
QString SDatasetDesignerVerb()
{
    return tr("Fields E&ditor...");
}

QString SNotConnected()
{
    return tr("Database %1 is not connected");
}
QString SDatabaseNotFound()
{
    return tr("Database %1 not found");
}
QString SSessionNotFound()
{
    return tr("Session %1 not found");
}
QString SNoDatabaseName()
{
    return tr("Missing DatabaseName property");
}
QString SNoRemoteDatabase()
{
    return tr("Database %1: missing RemoteDatabase property");
}
QString SDatabaseFileNotFound()
{
    return tr("Database file %1 does not exist (set the parameter CREATE=1 to create it)");
}
QString SRowsChanged()
{
    return tr("The rows changed while they were being read (a write, or a query whose result "
              "differs from one run to the next); close the dataset and open it again");
}
QString SResultTooLarge()
{
    return tr("The query's result is larger than %1 MB, the most a dataset holds (the parameter "
              "MAX RESULT MB); narrow the query or raise the parameter");
}
QString SNotARegularFile()
{
    return tr("Database file %1 is not a regular file (a folder, a device or a pipe)");
}
QString SRowsRolledBack()
{
    return tr("The rows were read in a transaction that was rolled back since; close the dataset "
              "and open it again");
}

QString SLockWait()
{
    return tr("%1 waited for database %2, which another connection holds locked: %3");
}
QString SConnectFailed()
{
    return tr("Cannot connect database %1: %2");
}
QString SNoDriver()
{
    return tr("No driver for server type %1 is available");
}
QString SFieldNotFound()
{
    return tr("Field '%1' not found in %2");
}
QString SFieldsNotFound()
{
    return tr("Fields %1 not found in %2");
}
QString SDuplicateFieldName()
{
    return tr("Duplicate field name '%1' in %2");
}
QString SParamNotFound()
{
    return tr("Parameter '%1' not found in %2");
}
QString SNoSQLStatement()
{
    return tr("%1: no SQL statement available");
}
QString SNoTableName()
{
    return tr("%1: missing TableName property");
}
QString SNoStoredProcName()
{
    return tr("%1: missing StoredProcName property");
}
QString SStoredProcNotFound()
{
    return tr("Stored procedure %1 not found");
}
QString SDataSetClosed()
{
    return tr("Cannot perform this operation on a closed dataset %1");
}
QString SDataSetOpen()
{
    return tr("Cannot perform this operation on an open dataset %1");
}
QString SNoSQLBaseClient()
{
    return tr("SQLBase client library is not available on this system");
}
QString SParamsFileRead()
{
    return tr("Cannot read parameters file %1");
}
QString SIndexNotFound()
{
    return tr("Index %1 not found in table %2");
}
