#pragma once

#include "designide/ComponentEditors.h"

// The component editors of the package, one per family of components.

// Sessions, monitors and SQLBase servers: the About verb only.
class TOvDefaultEditor : public TComponentEditor
{
    Q_OBJECT

public:
    using TComponentEditor::TComponentEditor;
};

// Scripts: exactly the default editor.
class TOvScriptEditor : public TOvDefaultEditor
{
    Q_OBJECT

public:
    using TOvDefaultEditor::TOvDefaultEditor;
};

// Database connections: the About verb, the database dialog and the
// connection-parameter editor.
class TOvDatabaseEditor : public TOvDefaultEditor
{
    Q_OBJECT

public:
    using TOvDefaultEditor::TOvDefaultEditor;
};

// Datasets: the About verb and the fields editor.
class TOvDataSetEditor : public TDataSetEditor
{
    Q_OBJECT

public:
    using TDataSetEditor::TDataSetEditor;
};

// Queries: the dataset verbs, the parameter editor and the SQL editor.
class TOvQueryEditor : public TOvDataSetEditor
{
    Q_OBJECT

public:
    using TOvDataSetEditor::TOvDataSetEditor;
};

// Stored procedures: the dataset verbs and the parameter editor.
class TOvStoredProcEditor : public TOvDataSetEditor
{
    Q_OBJECT

public:
    using TOvDataSetEditor::TOvDataSetEditor;
};

// Update objects: the About verb and the UpdateSQL editor.
class TOvUpdateSQLEditor : public TOvDefaultEditor
{
    Q_OBJECT

public:
    using TOvDefaultEditor::TOvDefaultEditor;
};
