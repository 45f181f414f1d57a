#include "OvRegProps.h"

#include "OvDesignSettings.h"
#include "OvReg.h"
#include "OvRegUtils.h"

#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDlgs.h"
#include "orvlib/OvSession.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

namespace {

// Shown in the RemoteDatabase drop-down while the history is empty; never stored.
const QString HistoryListPlaceholder = QStringLiteral("<history list>");

} // namespace

// --- TOvStringProperty -------------------------------------------------------

TPropertyAttributes TOvStringProperty::GetAttributes()
{
    return {paValueList, paMultiSelect, paSortList};
}

void TOvStringProperty::GetValues(const TGetStrProc &Proc)
{
    TStringList values;
    values.SetSorted(false);
    values.SetDuplicates(TDuplicates::dupAccept);
    GetValueList(&values);
    for (int i = 0; i < values.Count(); ++i)
        Proc(values[i]);
}

// --- TOvDatabaseProperty ---------------------------------------------------------

TPropertyAttributes TOvDatabaseProperty::GetAttributes()
{
    return {paValueList, paDialog};
}

void TOvDatabaseProperty::GetValueList(TStrings *List)
{
    TStrings *history = DesignSettings->RecentDatabases();
    if (history->Count() == 0)
        List->Add(HistoryListPlaceholder);
    else
        List->Assign(*history);
}

void TOvDatabaseProperty::SetValue(const QString &Value)
{
    if (Value == HistoryListPlaceholder)
        return;
    TOvStringProperty::SetValue(Value);
}

void TOvDatabaseProperty::Edit()
{
    const QString current = GetValue();
    auto *database = As<TOvDatabase>(GetComponent(0));
    const QString chosen = InputRemoteDatabaseValue(database->ServerType(), current);
    // An empty answer is no choice; the dialog cannot clear the value.
    if (!chosen.isEmpty())
        SetValue(chosen);
}

// --- Name lists ------------------------------------------------------------------

void TOvSessionNameProperty::GetValueList(TStrings *List)
{
    TOvSessionList &sessions = Sessions();
    for (int i = 0; i < sessions.GetCount(); ++i)
        List->Add(sessions.GetSession(i)->SessionName());
}

void TOvDatabaseNameProperty::GetValueList(TStrings *List)
{
    if (auto *script = qobject_cast<TOvScript *>(GetComponent(0)))
        script->GetDBSession()->GetDatabaseNames(List);
    else
        As<TOvDataSet>(GetComponent(0))->GetDBSession()->GetDatabaseNames(List);
}

void TOvStoredProcNameProperty::GetValueList(TStrings *List)
{
    auto *proc = As<TOvStoredProc>(GetComponent(0));
    proc->GetDBSession()->GetStoredProcNames(proc->DatabaseName(), List);
}

void TOvTableNameProperty::GetValueList(TStrings *AList)
{
    auto *table = As<TOvTable>(GetComponent(0));
    table->GetDBSession()->GetTableNames(table->DatabaseName(), QString(), false, AList);
}

bool TOvTableNameProperty::AutoFill()
{
    return IsDataSetDatabaseConnected(As<TOvDataSet>(GetComponent(0)));
}

// --- TOvDatabaseConnectedProperty ------------------------------------------------

void TOvDatabaseConnectedProperty::SetValue(const QString &Value)
{
    TEnumProperty::SetValue(Value);
    if (CompareText(STextTrue(), Value) == 0)
        DesignSettings->AddLastUsedDatabase(As<TOvDatabase>(GetComponent(0))->RemoteDatabase());
}
