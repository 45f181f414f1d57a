#pragma once

#include "designide/PropertyEditors.h"

class TStrings;

// The Object Inspector editors of the package.

// Base of the editors that offer a drop-down list of names.
class TOvStringProperty : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;

    // paValueList, paMultiSelect, paSortList.
    TPropertyAttributes GetAttributes() override;
    // Hands the entries of GetValueList to Proc, in list order.
    void GetValues(const TGetStrProc &Proc) override;
    // Fills List with the names to offer; built from the first component.
    virtual void GetValueList(TStrings *List) = 0;
};

// "RemoteDatabase": the history of recently used remote databases.
class TOvDatabaseProperty : public TOvStringProperty
{
    Q_OBJECT

public:
    using TOvStringProperty::TOvStringProperty;

    // The drop-down keeps the history's order; no multi-selection.
    TPropertyAttributes GetAttributes() override;
    // Asks the runtime library's dialog for a remote database.
    void Edit() override;
    // The "<history list>" placeholder is never stored.
    void SetValue(const QString &Value) override;
    void GetValueList(TStrings *List) override;
};

class TOvSessionNameProperty : public TOvStringProperty
{
    Q_OBJECT

public:
    using TOvStringProperty::TOvStringProperty;
    void GetValueList(TStrings *List) override;
};

class TOvDatabaseNameProperty : public TOvStringProperty
{
    Q_OBJECT

public:
    using TOvStringProperty::TOvStringProperty;
    void GetValueList(TStrings *List) override;
};

class TOvStoredProcNameProperty : public TOvStringProperty
{
    Q_OBJECT

public:
    using TOvStringProperty::TOvStringProperty;
    void GetValueList(TStrings *List) override;
};

class TOvTableNameProperty : public TOvStringProperty
{
    Q_OBJECT

public:
    using TOvStringProperty::TOvStringProperty;
    // Completion only while the table's database is connected.
    bool AutoFill() override;
    void GetValueList(TStrings *AList) override;
};

// "Connected": setting it true feeds the remote-database history.
class TOvDatabaseConnectedProperty : public TEnumProperty
{
    Q_OBJECT

public:
    using TEnumProperty::TEnumProperty;

    void SetValue(const QString &Value) override;
};

// "ParamsFileName": a file chosen in the open-file dialog, which starts at
// the current value, offers ini, text and all files (ini first) and accepts
// only an existing file in an existing folder; the chosen file's full path
// is stored. Offered only while a single database is selected.
class TOvFileNameProperty : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;

    void Edit() override;
    // paDialog, paRevertable.
    TPropertyAttributes GetAttributes() override;
};

// The parameter collection of a query or stored procedure: shown as
// "(TParams)" whatever it holds, edited in the collection editor of the
// first selected component.
class TOvParamsProperty : public TPropertyEditor
{
    Q_OBJECT

public:
    using TPropertyEditor::TPropertyEditor;

    // paDialog, paMultiSelect.
    TPropertyAttributes GetAttributes() override;
    QString GetValue() override;
};

class TOvQueryParamsProperty : public TOvParamsProperty
{
    Q_OBJECT

public:
    using TOvParamsProperty::TOvParamsProperty;

    void Edit() override;
};

class TOvStoredProcParamsProperty : public TOvParamsProperty
{
    Q_OBJECT

public:
    using TOvParamsProperty::TOvParamsProperty;

    // Prepares the procedure first when it has no parameters yet.
    void Edit() override;
};

// A string-list property edited in a dialog (with an ellipsis button and no
// sub-properties), or in the code editor.
class TOvStringListEditDlgProperty : public TClassProperty
{
    Q_OBJECT

public:
    using TClassProperty::TClassProperty;

    // TClassProperty's, with paDialog and without paSubProperties.
    TPropertyAttributes GetAttributes() override;

    // The list the first component holds: the property's own object, no copy.
    TStrings *GetStrings() const;
    // Stores Value into the property of every selected component (each
    // setter copies the lines) and tells the designer.
    void SetStrings(TStrings *Value);
};

// A database's connection parameters: the open text module when there is
// one, the code editor with Alt held down, else the runtime library's
// parameter dialog. The dialog edits a copy of the first database's list;
// only an accepted edit is stored, into every selected database.
class TOvDatabaseParamsProperty : public TOvStringListEditDlgProperty
{
    Q_OBJECT

public:
    using TOvStringListEditDlgProperty::TOvStringListEditDlgProperty;

    void Edit() override;

    // Replaces the content of Strings with the saved default parameters; a
    // null Strings is ignored.
    void GetDefaultParams(TStrings *Strings);
    // Opens Strings in the code editor as this property's text module.
    void ShowCodeEditor(TStrings *Strings, bool Flag);
};

// A query's SQL in the runtime library's SQL editor (registered only while
// the design settings' SQLEditor switch is on), or in the code editor as
// TOvDatabaseParamsProperty does. The SQL editor writes the query itself.
class TOvQuerySQLProperty : public TOvStringListEditDlgProperty
{
    Q_OBJECT

public:
    using TOvStringListEditDlgProperty::TOvStringListEditDlgProperty;

    void Edit() override;

    void ShowCodeEditor(TStrings *Strings, bool Flag);
};

class TOvTable;

// A table's MasterFields in the field-link designer. The designer works on a
// temporary open copy of the table (FTable), so it sees the fields and
// indexes without opening the component on the form; the link is copied
// back only when the designer reports a change.
class TOvTableFieldLinkProperty : public TFieldLinkProperty
{
    Q_OBJECT

public:
    using TFieldLinkProperty::TFieldLinkProperty;
    ~TOvTableFieldLinkProperty() override;

    // Raises what opening the copy raises (no designer is shown then) and
    // leaves the edited table unchanged unless the designer changed the link.
    void Edit() override;

    void GetFieldNamesForIndex(TStrings &List) override;
    bool GetIndexBased() override;
    TIndexDefs *GetIndexDefs() override;
    QString GetIndexFieldNames() override;
    QString GetIndexName() override;
    QString GetMasterFields() override;
    void SetIndexFieldNames(const QString &Value) override;
    // SPrimary, the name under which the designer lists the primary index,
    // selects it by an empty index name.
    void SetIndexName(const QString &Value) override;
    void SetMasterFields(const QString &Value) override;

    // The temporary table while Edit runs; null otherwise.
    TOvTable *Table() const { return FTable; }

private:
    // Raises when no Edit is running: the accessors have no table then.
    TOvTable *table() const;

    TOvTable *FTable = nullptr;
};
