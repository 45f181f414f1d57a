#pragma once

#include "designide/ComponentEditors.h"

#include <QString>

class TOvDatabase;
class TOvDatabaseEditDlg;
class TOvUpdateSQL;
class TStrings;

// The component editors of the package, one per family of components.
//
// Verb convention: a class puts its own verbs after the verbs of its parent
// class, whose count it takes from the parent class's own GetVerbCount (a
// direct call, never the virtual one: an override further down must not move
// the verbs above it). Its verbs are separated from the parent's by a "-"
// caption. Indexes a class does not add go to its parent class; an index no
// class of the chain knows has no caption and does nothing.

// The caption of the About verb: the product name and version of this
// package's own module, with one blank between them also when the version
// is empty.
QString AboutVerbCaption();
// The same, for the version information of the module file FileName.
QString AboutVerbCaptionOf(const QString &FileName);

// Sessions, monitors and SQLBase servers: the About verb only; a double
// click shows the About dialog.
class TOvDefaultEditor : public TComponentEditor
{
    Q_OBJECT

public:
    using TComponentEditor::TComponentEditor;

    void Edit() override;
    void ExecuteVerb(int Index) override;
    QString GetVerb(int Index) override;
    int GetVerbCount() override;
};

// Scripts: exactly the default editor.
class TOvScriptEditor : public TOvDefaultEditor
{
    Q_OBJECT

public:
    using TOvDefaultEditor::TOvDefaultEditor;
};

// Database connections: the About verb, a separator, the database dialog
// (also the double click) and the connection-parameter editor.
class TOvDatabaseEditor : public TOvDefaultEditor
{
    Q_OBJECT

public:
    using TOvDefaultEditor::TOvDefaultEditor;

    void Edit() override;
    void ExecuteVerb(int Index) override;
    QString GetVerb(int Index) override;
    int GetVerbCount() override;

    // Shows the database dialog on Database's main settings; only OK copies
    // them back, in a fixed order, through the database's setters. True on OK.
    bool EditDatabase(TOvDatabase *Database);
    // The dialogs' callbacks.
    void ShowParamsCodeEditor(TStrings *List, bool Modified);
    void GetDefaultParams(TStrings *List);
    void LoadDefaultParams(QObject *Sender);
    void SaveDefaultParams(QObject *Sender);
    void SaveDefaultSrvType(QObject *Sender);

    // The database dialog while EditDatabase runs; null at all other times.
    TOvDatabaseEditDlg *EditDlg = nullptr;
};

// Datasets: the About verb, a separator and the fields editor (also the
// double click, for every dataset editor).
class TOvDataSetEditor : public TDataSetEditor
{
    Q_OBJECT

public:
    using TDataSetEditor::TDataSetEditor;

    void Edit() override;
    void ExecuteVerb(int Index) override;
    QString GetVerb(int Index) override;
    int GetVerbCount() override;
};

// Queries: the dataset verbs, the parameter editor and, while the design
// settings' SQL-editor switch is on, the SQL editor.
class TOvQueryEditor : public TOvDataSetEditor
{
    Q_OBJECT

public:
    using TOvDataSetEditor::TOvDataSetEditor;

    void ExecuteVerb(int Index) override;
    QString GetVerb(int Index) override;
    int GetVerbCount() override;

private:
    // The SQL editor's code-editor callback.
    void ShowCodeEditor(TStrings *List, bool Modified);
};

// Stored procedures: the dataset verbs and the parameter editor.
class TOvStoredProcEditor : public TOvDataSetEditor
{
    Q_OBJECT

public:
    using TOvDataSetEditor::TOvDataSetEditor;

    void ExecuteVerb(int Index) override;
    QString GetVerb(int Index) override;
    int GetVerbCount() override;
};

// Update objects: the About verb, a separator and the UpdateSQL editor (also
// the double click).
class TOvUpdateSQLEditor : public TOvDefaultEditor
{
    Q_OBJECT

public:
    using TOvDefaultEditor::TOvDefaultEditor;

    void Edit() override;
    void ExecuteVerb(int Index) override;
    QString GetVerb(int Index) override;
    int GetVerbCount() override;
};

// The editor of macro queries: the query verbs and the macro editor. Its
// class is private to the package; the registration creates it from here.
TComponentEditorClass OvMacroQueryEditorClass();

// Runs the UpdateSQL editor on UpdateSQL and, on OK, tells Designer (when
// there is one) that the form was modified. True on OK.
bool EditUpdateSQLComponent(const IDesignerPtr &Designer, TOvUpdateSQL *UpdateSQL);
