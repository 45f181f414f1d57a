#include "OvRegUtils.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"

TOvDatabase *FindStoredProcDatabase(TOvStoredProc *StoredProc)
{
    TOvSession *session = Sessions().GetSessionByName(StoredProc->SessionName());
    return session->FindDatabase(StoredProc->DatabaseName());
}

bool IsDataSetDatabaseConnected(TOvDataSet *DataSet)
{
    TOvSession *session = Sessions().FindSession(DataSet->SessionName());
    if (!session)
        return false;
    TOvDatabase *database = session->FindDatabase(DataSet->DatabaseName());
    return database && database->Connected();
}
