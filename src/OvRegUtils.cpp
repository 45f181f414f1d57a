#include "OvRegUtils.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"

#include "designide/ColnEdit.h"

#include "rtl/SysUtils.h"

#include <QMetaProperty>
#include <QScopeGuard>

void writeProperty(QObject *Component, const char *Name, const QVariant &Value)
{
    const QMetaObject *meta = Component->metaObject();
    const int index = meta->indexOfProperty(Name);
    if (index < 0 || !meta->property(index).write(Component, Value))
        throw Exception(QStringLiteral("Cannot set property %1 of %2")
                            .arg(QLatin1String(Name), Component->objectName()));
}

bool IsDataSetDatabaseConnected(TOvDataSet *DataSet)
{
    TOvSession *session = Sessions().FindSession(DataSet->SessionName());
    if (!session)
        return false;
    TOvDatabase *database = session->FindDatabase(DataSet->DatabaseName());
    return database && database->Connected();
}

QString DesignerRootName(const IDesignerPtr &Designer)
{
    const QObject *root = Designer ? Designer->Root() : nullptr;
    return root ? root->objectName() : QString();
}

void EditQueryParams(const IDesignerPtr &Designer, TOvQuery *Query)
{
    ShowCollectionEditorClass(Designer, &TCollectionEditor::staticMetaObject, Query,
                              Query->Params(), QStringLiteral("Params"), {});
}

void EditQueryMacros(const IDesignerPtr &Designer, TOvMacroQuery *Query)
{
    ShowCollectionEditorClass(Designer, &TCollectionEditor::staticMetaObject, Query,
                              Query->GetMacros(), QStringLiteral("Macros"), {});
}

void EditStoredProcParams(const IDesignerPtr &Designer, TOvStoredProc *StoredProc)
{
    if (StoredProc->GetParamsCount() == 0 && !StoredProc->Prepared())
        StoredProc->Prepare();
    TOvDatabase *database = StoredProc->Database();
    if (!database && !Trim(StoredProc->DatabaseName()).isEmpty())
        database = FindStoredProcDatabase(StoredProc);
    const bool described
        = database && database->Connected() && StoredProc->DescriptionsAvailable();
    // Prepared or not before, the procedure leaves this routine unprepared,
    // also when the editor fails.
    const auto unprepare = qScopeGuard([StoredProc] {
        if (StoredProc->Prepared())
            StoredProc->UnPrepare();
    });
    ShowCollectionEditorClass(Designer, &TCollectionEditor::staticMetaObject, StoredProc,
                              StoredProc->Params(), QStringLiteral("Params"),
                              described ? TColOptions()
                                        : TColOptions(TColOption::coAdd | TColOption::coDelete));
}

TOvDatabase *FindStoredProcDatabase(TOvStoredProc *StoredProc)
{
    return Sessions()
        .GetSessionByName(StoredProc->SessionName())
        ->FindDatabase(StoredProc->DatabaseName());
}
