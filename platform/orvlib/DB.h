#pragma once

#include "orvlib/Collections.h"

#include "rtl/Classes.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

namespace DBTypes {
Q_NAMESPACE

enum class TFieldType {
    ftUnknown,
    ftString,
    ftInteger,
    ftLargeint,
    ftFloat,
    ftBoolean,
    ftDateTime,
    ftMemo,
    ftBlob
};
Q_ENUM_NS(TFieldType)

enum class TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };
Q_ENUM_NS(TParamType)

} // namespace DBTypes

using TFieldType = DBTypes::TFieldType;
using TParamType = DBTypes::TParamType;

class TDataSet;

// --- Parameters ---------------------------------------------------------------

// A parameter of a statement or stored procedure: a name, a type, a direction
// and a value (null until set).
class TParam : public TCollectionItem
{
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(DBTypes::TFieldType DataType READ DataType WRITE SetDataType)
    Q_PROPERTY(DBTypes::TParamType ParamType READ ParamType WRITE SetParamType)
    Q_PROPERTY(QVariant Value READ Value WRITE SetValue)

public:
    using TCollectionItem::TCollectionItem;

    QString Name() const { return m_name; }
    void SetName(const QString &Value);
    TFieldType DataType() const { return m_dataType; }
    void SetDataType(TFieldType Value);
    TParamType ParamType() const { return m_paramType; }
    void SetParamType(TParamType Value);
    QVariant Value() const { return m_value; }
    void SetValue(const QVariant &Value);

    bool IsNull() const { return m_value.isNull(); }
    void Clear() { SetValue(QVariant()); }
    QString AsString() const { return m_value.toString(); }
    void SetAsString(const QString &Value);
    qint64 AsInteger() const { return m_value.toLongLong(); }
    void SetAsInteger(qint64 Value);
    double AsFloat() const { return m_value.toDouble(); }
    void SetAsFloat(double Value);

    QString DisplayName() const override { return m_name; }

private:
    void changed();

    QString m_name;
    TFieldType m_dataType = TFieldType::ftUnknown;
    TParamType m_paramType = TParamType::ptUnknown;
    QVariant m_value;
};

// The parameters of a query or stored procedure, in order of appearance.
class TParams : public TCollection
{
    Q_OBJECT

public:
    using TCollection::TCollection;

    TParam *Items(int Index) const { return static_cast<TParam *>(Item(Index)); }
    TParam *AddParam(const QString &Name, TFieldType DataType = TFieldType::ftUnknown,
                     TParamType ParamType = TParamType::ptInput);
    // The parameter named Name (letter case ignored), or null.
    TParam *FindParam(const QString &Name) const;
    // As FindParam, but raises when there is none.
    TParam *ParamByName(const QString &Name) const;
    // The names, in order.
    QStringList Names() const;

    // Scans SQL for parameter markers ":name" (and ":"quoted name"") outside
    // string literals, quoted identifiers and comments; "::" (a type cast) is
    // no marker. Returns the names in order of appearance, each once. With
    // DoCreate the collection is rebuilt with those names, keeping type,
    // direction and value of parameters that existed before.
    QStringList ParseSQL(const QString &SQL, bool DoCreate);

protected:
    TCollectionItem *CreateItem() const override { return new TParam; }
};

// --- Fields -------------------------------------------------------------------

// A field of a dataset: a column of the current record.
//
// A dataset without persistent fields makes its own fields when it opens and
// frees them when it closes. A persistent field is a component of its own,
// owned by the form or data module that holds the dataset and stored with it
// (FieldName, DataSet, DataType, DisplayLabel, Visible). While a dataset has
// persistent fields it uses exactly those, in their order, whenever it opens:
// a persistent field whose column is missing from the result makes the open
// fail, and result columns without a persistent field are not fields.
// Freeing the dataset frees its persistent fields; freeing a field takes it
// out of its dataset (closing the dataset first when it is open).
class TField : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString FieldName READ FieldName WRITE SetFieldName)
    Q_PROPERTY(TDataSet *DataSet READ DataSet WRITE SetDataSet)
    Q_PROPERTY(DBTypes::TFieldType DataType READ DataType WRITE SetDataType)
    // Empty: the field name is shown.
    Q_PROPERTY(QString DisplayLabel READ DisplayLabelText WRITE SetDisplayLabel)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(int Index READ Index STORED false)

public:
    // A persistent field, not yet attached to a dataset.
    Q_INVOKABLE explicit TField(QObject *AOwner = nullptr);
    // A field the dataset makes for column FieldNo of its result.
    TField(TDataSet *DataSet, int FieldNo, const QString &FieldName, TFieldType DataType);
    ~TField() override;

    TDataSet *DataSet() const { return m_dataSet; }
    // Attaches a persistent field to Value (last in its field list) and takes
    // it from its former dataset; both must be closed. Fields the dataset
    // made itself cannot move.
    void SetDataSet(TDataSet *Value);
    // Position in the dataset's field list, from 0; -1 outside one.
    int Index() const;
    QString FieldName() const { return m_fieldName; }
    // Renames a persistent field; its dataset must be closed.
    void SetFieldName(const QString &Value);
    TFieldType DataType() const { return m_dataType; }
    void SetDataType(TFieldType Value);
    // The column title shown for the field; the field name until set.
    QString DisplayLabel() const { return m_displayLabel.isEmpty() ? m_fieldName : m_displayLabel; }
    void SetDisplayLabel(const QString &Value) { m_displayLabel = Value; }
    QString DisplayLabelText() const { return m_displayLabel; }
    bool Visible() const { return m_visible; }
    void SetVisible(bool Value) { m_visible = Value; }
    // Whether the field is a component of its own rather than one the
    // dataset made when it opened.
    bool IsPersistent() const { return m_persistent; }
    // Where the column comes from, when the server knows: table and column.
    QString OriginTable;
    QString OriginColumn;

    // The value in the current record; null on an empty or closed dataset.
    QVariant Value() const;
    bool IsNull() const { return Value().isNull(); }
    QString AsString() const;
    qint64 AsInteger() const { return Value().toLongLong(); }
    double AsFloat() const { return Value().toDouble(); }
    bool AsBoolean() const;

private:
    friend class TDataSet;

    TDataSet *m_dataSet = nullptr;
    int m_column = -1; // the result column the field reads; -1 while unbound
    QString m_fieldName;
    TFieldType m_dataType = TFieldType::ftUnknown;
    QString m_displayLabel;
    bool m_visible = true;
    bool m_persistent = true;
};

// Description of a result column, as a dataset's data is delivered.
struct TFieldDesc
{
    QString Name;
    TFieldType DataType = TFieldType::ftUnknown;
    QString OriginTable;
    QString OriginColumn;
};

// Where a dataset's records come from while it is open: a running statement
// that hands out its rows as they are read. A dataset asks for rows only
// when it needs them, and frees its source when the source is exhausted or
// the dataset closes.
class TRowSource
{
public:
    virtual ~TRowSource();
    // Appends up to Count rows (Count > 0) to Rows and returns how many it
    // appended; fewer than Count means there are no more. Raises on failure.
    virtual int FetchRows(std::vector<QVariantList> &Rows, int Count) = 0;
};

// --- Datasets -----------------------------------------------------------------

// A dataset: a list of records walked with a cursor. Descendants implement
// InternalOpen, which delivers the columns and a source of rows with
// SetData. Records are read from the source as they are needed: opening
// reads one batch, moving past the last record read reads the next one, and
// what needs every record (RecordCount, Last) reads the rest. Records read
// stay in memory while the dataset is open. A source that fails raises, and
// raises the same error again whenever more records are needed; the records
// read before stay.
class TDataSet : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive STORED false)

public:
    explicit TDataSet(QObject *AOwner = nullptr);
    ~TDataSet() override;

    bool Active() const { return m_active; }
    void SetActive(bool Value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }

    void First();
    void Next();
    void Prior();
    void Last();
    // True when the cursor has moved past the last record (at once for an empty dataset).
    bool Eof() const;
    bool Bof() const;
    bool IsEmpty() const { return m_rows.empty(); }
    // The number of records; reads all that are not read yet.
    int RecordCount() const;
    // Current record number from 1; 0 when there is none.
    int RecNo() const;

    // Records read so far, for views that read as they scroll.
    int FetchedCount() const { return static_cast<int>(m_rows.size()); }
    // Whether every record has been read (true for a closed dataset).
    bool AllFetched() const { return !m_source && !m_fetchError; }
    // Reads up to Count more records; returns how many were read. The
    // cursor stays where it is.
    int FetchMore(int Count);
    // The value of field FieldIndex (as Fields numbers them) in record
    // Record (from 0) of the records read so far; null outside them.
    QVariant RecordValue(int Record, int FieldIndex) const;
    // How many records one read asks the source for (at least 1).
    int FetchBatchSize() const { return m_batchSize; }
    void SetFetchBatchSize(int Value) { m_batchSize = std::max(1, Value); }

    // The fields: the persistent ones whenever there are any, else the ones
    // the dataset made when it opened (none while it is closed).
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    TField *Fields(int Index) const;
    // The field named Name (letter case ignored), or null.
    TField *FindField(const QString &Name) const;
    // As FindField, but raises when the dataset has no such field.
    TField *FieldByName(const QString &Name) const;
    // Fills List with the field names; opens nothing.
    void GetFieldNames(TStrings *List) const;

    // The value of column Index in the current record.
    QVariant FieldValue(int Index) const;

    // The persistent fields, in order (the fields editor lists them).
    Q_INVOKABLE QObjectList PersistentFields() const;
    bool HasPersistentFields() const { return !m_persistentFields.empty(); }
    // The columns of the dataset's result, as the database reports them. A
    // closed dataset opens to read them and closes again (its persistent
    // fields are not checked for that).
    void UpdateFieldDefs();
    const QList<TFieldDesc> &FieldDefs() const { return m_fieldDefs; }
    // UpdateFieldDefs, then the column names in result order.
    Q_INVOKABLE QStringList FieldDefNames();
    // Makes a persistent field for result column FieldName, owned by Owner
    // and attached last to this dataset, with the column's type when the
    // field definitions know it. The dataset must be closed.
    Q_INVOKABLE TField *CreatePersistentField(const QString &FieldName, QObject *Owner);

    // Replaces the dataset's content; for InternalOpen and for datasets made
    // by the library (catalogue results). Leaves the cursor on the first record.
    void SetData(const QList<TFieldDesc> &Fields, std::vector<QVariantList> Rows);
    // As above, with rows read from Source as they are needed; the first
    // batch is read here, so a failing statement fails the open.
    void SetRowSource(const QList<TFieldDesc> &Fields, std::unique_ptr<TRowSource> Source);

    // Fills the dataset from a result and marks it open (for result datasets
    // that have no statement of their own).
    void OpenWithData(const QList<TFieldDesc> &Fields, std::vector<QVariantList> Rows);

    QString Name() const { return objectName(); }

Q_SIGNALS:
    void AfterOpen();
    void AfterClose();

protected:
    // Runs the statement and calls SetData; raises on failure.
    virtual void InternalOpen() = 0;
    virtual void InternalClose() {}
    // Reads the result columns as the server describes the statement without
    // running it, where it describes them as a run would; false when it
    // cannot, and the columns are read by opening the dataset.
    virtual bool InternalDescribe(QList<TFieldDesc> &Fields)
    {
        Q_UNUSED(Fields);
        return false;
    }
    void CheckActive() const;
    void CheckInactive() const;

private:
    friend class TField;
    void clearData();
    void releaseSource();
    void bindFields(const QList<TFieldDesc> &Fields);
    void bindPersistentFields(const QList<TFieldDesc> &Columns);
    void detachField(TField *Field);
    // Reading records is filling a cache: the const readers may do it.
    int fetch(int Count) const;
    // Reads until record Index is read or the source is exhausted.
    void fetchTo(int Index) const;
    void fetchAll() const;

    bool m_active = false;
    bool m_readingDefs = false;
    std::vector<TField *> m_fields;
    std::vector<TField *> m_persistentFields;
    QList<TFieldDesc> m_fieldDefs;
    mutable std::vector<QVariantList> m_rows;
    // The rest of the records; null once all are read.
    mutable std::unique_ptr<TRowSource> m_source;
    // The failure of the source, raised again on the next read.
    mutable std::exception_ptr m_fetchError;
    int m_batchSize = 100;
    int m_cursor = 0; // index into m_rows; == size() past the end
    bool m_bof = true;
};

// A dataset that holds whatever it was given; what the library returns for
// catalogue queries (GetSchemaInfo).
class TMemDataSet : public TDataSet
{
    Q_OBJECT

public:
    using TDataSet::TDataSet;

protected:
    void InternalOpen() override {}
};

// Links a control or a detail dataset to a dataset.
class TDataSource : public QObject
{
    Q_OBJECT
    Q_PROPERTY(TDataSet *DataSet READ DataSet WRITE SetDataSet)

public:
    Q_INVOKABLE explicit TDataSource(QObject *AOwner = nullptr);
    TDataSet *DataSet() const { return m_dataSet; }
    void SetDataSet(TDataSet *Value) { m_dataSet = Value; }

private:
    QPointer<TDataSet> m_dataSet;
};

// --- Index definitions ----------------------------------------------------------

enum TIndexOption : unsigned {
    ixPrimary = 1u << 0,
    ixUnique = 1u << 1,
    ixDescending = 1u << 2,
    ixExpression = 1u << 3,
    // A partial index: it holds only the rows its where clause selects.
    ixPartial = 1u << 4,
};
using TIndexOptions = unsigned;

class TIndexDef : public TCollectionItem
{
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(QString Fields READ Fields WRITE SetFields)
    Q_PROPERTY(unsigned Options READ Options WRITE SetOptions)

public:
    using TCollectionItem::TCollectionItem;
    QString Name() const { return m_name; }
    void SetName(const QString &Value) { m_name = Value; }
    // Field names separated by ";", in key order.
    QString Fields() const { return m_fields; }
    void SetFields(const QString &Value) { m_fields = Value; }
    TIndexOptions Options() const { return m_options; }
    void SetOptions(TIndexOptions Value) { m_options = Value; }
    QString DisplayName() const override { return m_name; }

private:
    QString m_name;
    QString m_fields;
    TIndexOptions m_options = 0;
};

class TIndexDefs : public TCollection
{
    Q_OBJECT

public:
    using TCollection::TCollection;
    TIndexDef *Items(int Index) const { return static_cast<TIndexDef *>(Item(Index)); }
    TIndexDef *AddIndexDef() { return static_cast<TIndexDef *>(Add()); }
    TIndexDef *Find(const QString &Name) const;
    // The index whose fields are exactly Fields (";" separated, case ignored), or null.
    TIndexDef *FindIndexForFields(const QString &Fields) const;
    // The primary index, or null.
    TIndexDef *PrimaryIndex() const;

protected:
    TCollectionItem *CreateItem() const override { return new TIndexDef; }
};
