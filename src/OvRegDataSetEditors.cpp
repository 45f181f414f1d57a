// The component editors of datasets, queries, macro queries and stored
// procedures.
#include "OvRegEditors.h"

#include "OvAbout.h"
#include "OvDesignSettings.h"
#include "OvReg.h"
#include "OvRegModules.h"
#include "OvRegUtils.h"

#include "designide/DSDesign.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDlgs.h"

#include "rtl/SysUtils.h"

namespace {

// The SQL-editor switch, asked afresh on every verb call; the settings read
// it from the ini file once per load.
bool sqlEditorOn()
{
    return DesignSettings && DesignSettings->SQLEditor();
}

// Macro queries: the query verbs, then the macro editor right after the last
// query verb, wherever the switch puts that.
class TOvMacroQueryEditor : public TOvQueryEditor
{
    Q_OBJECT

public:
    using TOvQueryEditor::TOvQueryEditor;

    int GetVerbCount() override { return TOvQueryEditor::GetVerbCount() + 1; }

    QString GetVerb(int Index) override
    {
        if (Index == TOvQueryEditor::GetVerbCount())
            return SBindMacrosVerb();
        return TOvQueryEditor::GetVerb(Index);
    }

    void ExecuteVerb(int Index) override
    {
        if (Index == TOvQueryEditor::GetVerbCount())
            EditQueryMacros(Designer(), As<TOvMacroQuery>(Component()));
        else
            TOvQueryEditor::ExecuteVerb(Index);
    }
};

} // namespace

TComponentEditorClass OvMacroQueryEditorClass()
{
    return componentEditorClass<TOvMacroQueryEditor>();
}

// --- TOvDataSetEditor ---------------------------------------------------------------

int TOvDataSetEditor::GetVerbCount()
{
    return 3;
}

QString TOvDataSetEditor::GetVerb(int Index)
{
    switch (Index) {
    case 0:
        return AboutVerbCaption();
    case 1:
        return QStringLiteral("-");
    case 2:
        return SDatasetDesignerVerb();
    }
    return QString();
}

void TOvDataSetEditor::ExecuteVerb(int Index)
{
    if (Index == 0)
        ShowAboutBox();
    else if (Index == 2)
        ShowFieldsEditor(Designer(), As<TDataSet>(Component()), GetDSDesignerClass());
}

void TOvDataSetEditor::Edit()
{
    ExecuteVerb(2);
}

// --- TOvQueryEditor -----------------------------------------------------------------

int TOvQueryEditor::GetVerbCount()
{
    return TOvDataSetEditor::GetVerbCount() + (sqlEditorOn() ? 2 : 1);
}

QString TOvQueryEditor::GetVerb(int Index)
{
    const int p = TOvDataSetEditor::GetVerbCount();
    if (Index == p)
        return SBindVerb();
    if (Index == p + 1 && sqlEditorOn())
        return SEditSQLVerb();
    return TOvDataSetEditor::GetVerb(Index);
}

void TOvQueryEditor::ExecuteVerb(int Index)
{
    auto *query = As<TOvQuery>(Component());
    const int p = TOvDataSetEditor::GetVerbCount();
    if (Index == p) {
        EditQueryParams(Designer(), query);
    } else if (Index == p + 1 && sqlEditorOn()) {
        // An open code-editor module of the SQL would overwrite the dialog's
        // result when saved: it closes first, or the verb ends here.
        if (!CloseStringsModule(Designer(), query, QStringLiteral("SQL")))
            return;
        const QString name = DesignerRootName(Designer()) + u'.' + query->objectName() + u'.'
                             + QStringLiteral("SQL");
        if (ShowSQLEditor(name, query,
                          [this](TStrings *List, bool Modified) { ShowCodeEditor(List, Modified); })
            && Designer())
            Designer()->Modified();
    } else {
        TOvDataSetEditor::ExecuteVerb(Index);
    }
}

void TOvQueryEditor::ShowCodeEditor(TStrings *List, bool Modified)
{
    ShowStringsInCodeEditor(Designer(), Component(), QStringLiteral("SQL"), List, Modified);
}

// --- TOvStoredProcEditor ------------------------------------------------------------

int TOvStoredProcEditor::GetVerbCount()
{
    return TOvDataSetEditor::GetVerbCount() + 1;
}

QString TOvStoredProcEditor::GetVerb(int Index)
{
    if (Index == TOvDataSetEditor::GetVerbCount())
        return SBindVerb();
    return TOvDataSetEditor::GetVerb(Index);
}

void TOvStoredProcEditor::ExecuteVerb(int Index)
{
    auto *proc = As<TOvStoredProc>(Component());
    if (Index == TOvDataSetEditor::GetVerbCount())
        EditStoredProcParams(Designer(), proc);
    else
        TOvDataSetEditor::ExecuteVerb(Index);
}

#include "OvRegDataSetEditors.moc"
