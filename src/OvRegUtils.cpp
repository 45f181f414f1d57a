#include "OvRegUtils.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"

bool IsDataSetDatabaseConnected(TOvDataSet *DataSet)
{
    TOvSession *session = Sessions().FindSession(DataSet->SessionName());
    if (!session)
        return false;
    TOvDatabase *database = session->FindDatabase(DataSet->DatabaseName());
    return database && database->Connected();
}
