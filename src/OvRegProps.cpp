#include "OvRegProps.h"

#include "OvDesignSettings.h"
#include "OvReg.h"
#include "OvRegModules.h"
#include "OvRegUtils.h"

#include "designide/DesignErrors.h"

#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDlgs.h"
#include "orvlib/OvSession.h"
#include "rtl/Classes.h"
#include "rtl/Dialogs.h"
#include "rtl/SysUtils.h"

#include <QScopeGuard>

#include <memory>

namespace {

// Shown in the RemoteDatabase drop-down while the history is empty; never stored.
const QString HistoryListPlaceholder = QStringLiteral("<history list>");

// The files a database's parameters may come from, ini files first.
const QString ParamsFileFilter
    = QStringLiteral("Ini-files (*.ini)|*.INI|Text files (*.txt)|*.TXT|All files (*.*)|*.*");

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

// --- TOvFileNameProperty ----------------------------------------------------------

TPropertyAttributes TOvFileNameProperty::GetAttributes()
{
    return {paDialog, paRevertable};
}

void TOvFileNameProperty::Edit()
{
    TOpenDialog dialog;
    dialog.FileName = GetValue();
    dialog.Filter = ParamsFileFilter;
    dialog.Options |= ofPathMustExist | ofFileMustExist;
    if (dialog.Execute())
        SetValue(dialog.FileName);
}

// --- Parameter collections ----------------------------------------------------------

TPropertyAttributes TOvParamsProperty::GetAttributes()
{
    return {paDialog, paMultiSelect};
}

QString TOvParamsProperty::GetValue()
{
    return QStringLiteral("(%1)").arg(QLatin1String(TParams::staticMetaObject.className()));
}

void TOvQueryParamsProperty::Edit()
{
    EditQueryParams(Designer(), As<TOvQuery>(GetComponent(0)));
}

void TOvStoredProcParamsProperty::Edit()
{
    EditStoredProcParams(Designer(), As<TOvStoredProc>(GetComponent(0)));
}

// --- String lists -----------------------------------------------------------------

TPropertyAttributes TOvStringListEditDlgProperty::GetAttributes()
{
    return TClassProperty::GetAttributes() + paDialog - paSubProperties;
}

TStrings *TOvStringListEditDlgProperty::GetStrings() const
{
    return GetObjectValue<TStrings>();
}

void TOvStringListEditDlgProperty::SetStrings(TStrings *Value)
{
    SetObjectValue(Value);
}

void TOvDatabaseParamsProperty::Edit()
{
    const QString propName = GetName();
    QObject *component = GetComponent(0);
    if (ShowExistingStringsModule(Designer(), component, propName))
        return;
    if (IsAltKeyDown()) {
        ShowCodeEditor(GetStrings(), false);
        return;
    }
    // The dialog edits a copy: the first database's own list changes only
    // through SetStrings, together with the others, and a setter that
    // refuses the lines cannot leave an edit behind that nobody reported.
    TStringList edited;
    if (TStrings *current = GetStrings())
        edited.Assign(*current);
    // The known parameters listed are those of the first database's server
    // (the default server's for a component that names none).
    const auto *database = qobject_cast<const TOvDatabase *>(component);
    if (ShowDatabaseParamsEditor(
            &edited, database ? database->ServerType() : DefServerType,
            [this](TStrings *List, bool Flag) { ShowCodeEditor(List, Flag); },
            [this](TStrings *List) { GetDefaultParams(List); }))
        SetStrings(&edited);
}

void TOvDatabaseParamsProperty::GetDefaultParams(TStrings *Strings)
{
    if (Strings)
        Strings->Assign(*DesignSettings->DbParams());
}

void TOvDatabaseParamsProperty::ShowCodeEditor(TStrings *Strings, bool Flag)
{
    ShowStringsInCodeEditor(Designer(), GetComponent(0), GetName(), Strings, Flag);
}

void TOvQuerySQLProperty::Edit()
{
    QObject *component = GetComponent(0);
    const QString propName = GetName();
    if (ShowExistingStringsModule(Designer(), component, propName))
        return;
    if (IsAltKeyDown()) {
        ShowCodeEditor(GetStrings(), false);
        return;
    }
    const QString caption = DesignerRootName(Designer()) + QLatin1Char('.')
                            + component->objectName() + QLatin1Char('.') + propName;
    if (ShowSQLEditor(caption, As<TOvQuery>(component),
                      [this](TStrings *List, bool Flag) { ShowCodeEditor(List, Flag); })
        && Designer())
        Designer()->Modified();
}

void TOvQuerySQLProperty::ShowCodeEditor(TStrings *Strings, bool Flag)
{
    ShowStringsInCodeEditor(Designer(), GetComponent(0), GetName(), Strings, Flag);
}

// --- TOvTableFieldLinkProperty ----------------------------------------------------------

TOvTableFieldLinkProperty::~TOvTableFieldLinkProperty() = default;

void TOvTableFieldLinkProperty::Edit()
{
    auto *edited = As<TOvTable>(GetDataSet());
    std::unique_ptr<TOvTable> temporary(new TOvTable(nullptr));
    FTable = temporary.get();
    // Declared after the table, so it runs first: no accessor sees a freed table.
    const auto forget = qScopeGuard([this] { FTable = nullptr; });

    FTable->SetSessionName(edited->SessionName());
    FTable->SetDatabaseName(edited->DatabaseName());
    FTable->SetTableName(edited->TableName());
    // Each clears the other: only one is copied, IndexFieldNames first.
    if (!edited->IndexFieldNames().isEmpty())
        FTable->SetIndexFieldNames(edited->IndexFieldNames());
    else
        FTable->SetIndexName(edited->IndexName());
    FTable->SetMasterFields(edited->MasterFields());
    FTable->Open();

    TFieldLinkProperty::Edit();
    if (!Changed())
        return;
    // Each value goes through the edited table's published setter, as the
    // Object Inspector would write it, MasterFields first. The base told the
    // designer before the values reached the table; it is told again once
    // they have, so what it shows is read after the write-back. A setter
    // that fails part-way leaves what was written before it, and the
    // designer is told of that too, so the form does not lose it.
    try {
        writeProperty(edited, "MasterFields", FTable->MasterFields());
        if (!FTable->IndexFieldNames().isEmpty())
            writeProperty(edited, "IndexFieldNames", FTable->IndexFieldNames());
        else
            writeProperty(edited, "IndexName", FTable->IndexName());
    } catch (...) {
        Modified();
        throw;
    }
    Modified();
}

TOvTable *TOvTableFieldLinkProperty::table() const
{
    if (!FTable)
        throw EDesignError(
            QStringLiteral("The field link of %1 is edited only while its designer runs")
                .arg(GetComponent(0)->objectName()));
    return FTable;
}

void TOvTableFieldLinkProperty::GetFieldNamesForIndex(TStrings &List)
{
    TOvTable *t = table();
    for (int i = 0; i < t->GetIndexFieldCount(); ++i)
        List.Add(t->GetIndexField(i)->FieldName());
}

bool TOvTableFieldLinkProperty::GetIndexBased()
{
    return !table()->PSIsSQLBased();
}

TIndexDefs *TOvTableFieldLinkProperty::GetIndexDefs()
{
    return table()->IndexDefs();
}

QString TOvTableFieldLinkProperty::GetIndexFieldNames()
{
    return table()->IndexFieldNames();
}

QString TOvTableFieldLinkProperty::GetIndexName()
{
    return table()->IndexName();
}

QString TOvTableFieldLinkProperty::GetMasterFields()
{
    return table()->MasterFields();
}

void TOvTableFieldLinkProperty::SetIndexFieldNames(const QString &Value)
{
    table()->SetIndexFieldNames(Value);
}

void TOvTableFieldLinkProperty::SetIndexName(const QString &Value)
{
    table()->SetIndexName(Value == SPrimary() ? QString() : Value);
}

void TOvTableFieldLinkProperty::SetMasterFields(const QString &Value)
{
    table()->SetMasterFields(Value);
}
