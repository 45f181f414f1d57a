#include "OvRegEditors.h"

#include "OvAbout.h"
#include "OvDesignSettings.h"
#include "OvReg.h"
#include "OvRegModules.h"
#include "OvRegUtils.h"
#include "OvUpdSEd.h"

#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDlgs.h"
#include "orvlib/OvUpdateSQL.h"

#include "rtl/SysUtils.h"

#include <QScopeGuard>
#include <QVariant>

QString AboutVerbCaptionOf(const QString &FileName)
{
    QString name = QStringLiteral("Orvanta");
    QString version;
    ReadFileVersInfo(FileName, name, version);
    return name + u' ' + version;
}

QString AboutVerbCaption()
{
    return AboutVerbCaptionOf(OvPackageFileName());
}

// --- TOvDefaultEditor ---------------------------------------------------------------

int TOvDefaultEditor::GetVerbCount()
{
    return TComponentEditor::GetVerbCount() + 1;
}

QString TOvDefaultEditor::GetVerb(int Index)
{
    const int b = TComponentEditor::GetVerbCount();
    if (Index == b)
        return AboutVerbCaption();
    if (Index < b)
        return TComponentEditor::GetVerb(Index);
    return QString();
}

void TOvDefaultEditor::ExecuteVerb(int Index)
{
    const int b = TComponentEditor::GetVerbCount();
    if (Index == b)
        ShowAboutBox();
    else if (Index < b)
        TComponentEditor::ExecuteVerb(Index);
}

void TOvDefaultEditor::Edit()
{
    ExecuteVerb(TComponentEditor::GetVerbCount());
}

// --- TOvDatabaseEditor --------------------------------------------------------------

int TOvDatabaseEditor::GetVerbCount()
{
    return TOvDefaultEditor::GetVerbCount() + 3;
}

QString TOvDatabaseEditor::GetVerb(int Index)
{
    const int n = TOvDefaultEditor::GetVerbCount();
    if (Index == n)
        return QStringLiteral("-");
    if (Index == n + 1)
        return SEditDatabaseVerb();
    if (Index == n + 2)
        return SBindVerb();
    return TOvDefaultEditor::GetVerb(Index);
}

void TOvDatabaseEditor::ExecuteVerb(int Index)
{
    const int n = TOvDefaultEditor::GetVerbCount();
    if (Index == n + 1) {
        if (EditDatabase(As<TOvDatabase>(Component())) && Designer())
            Designer()->Modified();
    } else if (Index == n + 2) {
        auto *database = As<TOvDatabase>(Component());
        // An open code-editor module of the same list would overwrite the
        // dialog's result when it is saved: it goes first, or the verb stops.
        if (!CloseStringsModule(Designer(), Component(), QStringLiteral("Params")))
            return;
        // The dialog lists the known parameters of this database's server.
        if (ShowDatabaseParamsEditor(
                database->Params(), database->ServerType(),
                [this](TStrings *List, bool Modified) { ShowParamsCodeEditor(List, Modified); },
                [this](TStrings *List) { GetDefaultParams(List); })
            && Designer())
            Designer()->Modified();
    } else if (Index != n) {
        TOvDefaultEditor::ExecuteVerb(Index);
    }
}

void TOvDatabaseEditor::Edit()
{
    ExecuteVerb(TOvDefaultEditor::GetVerbCount() + 1);
}

bool TOvDatabaseEditor::EditDatabase(TOvDatabase *Database)
{
    // The application owns the dialog; it lives for this call only, and
    // EditDlg names it only meanwhile, whichever way the call ends.
    const std::unique_ptr<TOvDatabaseEditDlg> dialog
        = std::make_unique<TOvDatabaseEditDlg>(nullptr, 0);
    EditDlg = dialog.get();
    const auto clear = qScopeGuard([this] { EditDlg = nullptr; });

    EditDlg->LoadData(nullptr);
    EditDlg->SetDatabaseName(Database->DatabaseName());
    EditDlg->SetServerType(Database->ServerType());
    EditDlg->SetRemoteDatabase(Database->RemoteDatabase());
    // The settings' own list: what the dialog does to it is kept and saved.
    EditDlg->SetRemoteDatabaseHistory(DesignSettings ? DesignSettings->RecentDatabases() : nullptr);
    EditDlg->SetKeepConnection(Database->KeepConnection());
    EditDlg->SetLoginPrompt(Database->LoginPrompt());
    EditDlg->SetDefaultDatabase(Database->DesignOptions().Contains(ddoIsDefaultDatabase));
    EditDlg->SetStoreConnected(Database->DesignOptions().Contains(ddoStoreConnected));
    EditDlg->SetParams(Database->Params());

    EditDlg->GetDefaultParams = [this](TStrings *List) {
        GetDefaultParams(List);
    };
    EditDlg->OnLoadDefaultParamsClick = [this](QObject *Sender) {
        LoadDefaultParams(Sender);
    };
    EditDlg->OnSaveDefaultParamsClick = [this](QObject *Sender) {
        SaveDefaultParams(Sender);
    };
    EditDlg->OnSaveDefaultSrvTypeClick = [this](QObject *Sender) {
        SaveDefaultSrvType(Sender);
    };

    const bool ok = EditDlg->ShowModal() == mrOk;
    if (!ok)
        return false;

    // Each value goes through the database's setter, in this order. Once the
    // first setter ran, the database may have changed: should a later one
    // fail, the designer is still told, so what was written is not lost
    // from the form nor saved behind the user's back.
    try {
        writeProperty(Database, "Params", QVariant::fromValue<TStrings *>(EditDlg->Params()));
        writeProperty(Database, "DatabaseName", EditDlg->DatabaseName());
        writeProperty(Database, "ServerType", QVariant::fromValue(EditDlg->ServerType()));
        writeProperty(Database, "RemoteDatabase", EditDlg->RemoteDatabase());
        writeProperty(Database, "KeepConnection", EditDlg->KeepConnection());
        writeProperty(Database, "LoginPrompt", EditDlg->LoginPrompt());
        TOvDesignDBOptions options = Database->DesignOptions();
        if (EditDlg->DefaultDatabase())
            options.Include(ddoIsDefaultDatabase);
        else
            options.Exclude(ddoIsDefaultDatabase);
        writeProperty(Database, "DesignOptions", QVariant::fromValue(options));
        options = Database->DesignOptions();
        if (EditDlg->StoreConnected())
            options.Include(ddoStoreConnected);
        else
            options.Exclude(ddoStoreConnected);
        writeProperty(Database, "DesignOptions", QVariant::fromValue(options));
    } catch (...) {
        if (Designer())
            Designer()->Modified();
        throw;
    }
    return true;
}

void TOvDatabaseEditor::ShowParamsCodeEditor(TStrings *List, bool Modified)
{
    ShowStringsInCodeEditor(Designer(), Component(), QStringLiteral("Params"), List, Modified);
}

void TOvDatabaseEditor::GetDefaultParams(TStrings *List)
{
    if (List && DesignSettings)
        List->Assign(*DesignSettings->DbParams());
}

void TOvDatabaseEditor::LoadDefaultParams(QObject *Sender)
{
    Q_UNUSED(Sender);
    if (EditDlg && DesignSettings)
        EditDlg->SetParams(DesignSettings->DbParams());
}

void TOvDatabaseEditor::SaveDefaultParams(QObject *Sender)
{
    Q_UNUSED(Sender);
    if (EditDlg && DesignSettings)
        DesignSettings->SaveDbParams(EditDlg->Params());
}

void TOvDatabaseEditor::SaveDefaultSrvType(QObject *Sender)
{
    Q_UNUSED(Sender);
    if (EditDlg && DesignSettings)
        DesignSettings->WriteDefaultServerType(EditDlg->ServerType());
}

// --- TOvUpdateSQLEditor -------------------------------------------------------------

int TOvUpdateSQLEditor::GetVerbCount()
{
    return TOvDefaultEditor::GetVerbCount() + 2;
}

QString TOvUpdateSQLEditor::GetVerb(int Index)
{
    const int d = TOvDefaultEditor::GetVerbCount();
    if (Index == d)
        return QStringLiteral("-");
    if (Index == d + 1)
        return SUpdateSQLEditor();
    return TOvDefaultEditor::GetVerb(Index);
}

void TOvUpdateSQLEditor::ExecuteVerb(int Index)
{
    const int d = TOvDefaultEditor::GetVerbCount();
    if (Index == d + 1)
        EditUpdateSQLComponent(GetDesigner(), As<TOvUpdateSQL>(Component()));
    else
        TOvDefaultEditor::ExecuteVerb(Index);
}

void TOvUpdateSQLEditor::Edit()
{
    ExecuteVerb(TOvDefaultEditor::GetVerbCount() + 1);
}

bool EditUpdateSQLComponent(const IDesignerPtr &Designer, TOvUpdateSQL *UpdateSQL)
{
    // Held for the call: the designer stays alive even if the editor goes.
    const IDesignerPtr designer = Designer;
    if (!EditUpdateSQL(UpdateSQL))
        return false;
    if (designer)
        designer->Modified();
    return true;
}
