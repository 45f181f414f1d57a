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

// "ParamsFileName": a file chosen in the open-file dialog.
class TOvFileNameProperty : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;
};

class TOvQueryParamsProperty : public TClassProperty
{
    Q_OBJECT

public:
    using TClassProperty::TClassProperty;
};

class TOvStoredProcParamsProperty : public TClassProperty
{
    Q_OBJECT

public:
    using TClassProperty::TClassProperty;
};

// A database's connection parameters.
class TOvDatabaseParamsProperty : public TClassProperty
{
    Q_OBJECT

public:
    using TClassProperty::TClassProperty;
};

// A query's SQL in the package's SQL editor.
class TOvQuerySQLProperty : public TClassProperty
{
    Q_OBJECT

public:
    using TClassProperty::TClassProperty;
};

// A table's master fields in the field-link designer.
class TOvTableFieldLinkProperty : public TFieldLinkProperty
{
    Q_OBJECT

public:
    using TFieldLinkProperty::TFieldLinkProperty;
};
