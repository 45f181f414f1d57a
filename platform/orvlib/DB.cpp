#include "orvlib/DB.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvSQLLexer.h"

#include "rtl/SysUtils.h"

#include <QHash>

#include <algorithm>

// --- TParam -------------------------------------------------------------------

void TParam::changed()
{
    if (TCollection *c = Collection())
        Q_EMIT c->Changed();
}

void TParam::SetName(const QString &Value)
{
    if (m_name != Value) {
        m_name = Value;
        changed();
    }
}

void TParam::SetDataType(TFieldType Value)
{
    m_dataType = Value;
}

void TParam::SetParamType(TParamType Value)
{
    m_paramType = Value;
}

void TParam::SetValue(const QVariant &Value)
{
    m_value = Value;
}

void TParam::SetAsString(const QString &Value)
{
    m_dataType = TFieldType::ftString;
    m_value = Value;
}

void TParam::SetAsInteger(qint64 Value)
{
    m_dataType = TFieldType::ftInteger;
    m_value = Value;
}

void TParam::SetAsFloat(double Value)
{
    m_dataType = TFieldType::ftFloat;
    m_value = Value;
}

// --- TParams ------------------------------------------------------------------

TParam *TParams::AddParam(const QString &Name, TFieldType DataType, TParamType ParamType)
{
    auto *param = new TParam;
    param->SetName(Name);
    param->SetDataType(DataType);
    param->SetParamType(ParamType);
    Insert(param);
    return param;
}

TParam *TParams::FindParam(const QString &Name) const
{
    for (int i = 0; i < Count(); ++i) {
        if (Items(i)->Name().compare(Name, Qt::CaseInsensitive) == 0)
            return Items(i);
    }
    return nullptr;
}

TParam *TParams::ParamByName(const QString &Name) const
{
    if (TParam *p = FindParam(Name))
        return p;
    const QString owner = Owner() ? Owner()->objectName() : QString();
    throw Exception(SParamNotFound().arg(Name, owner));
}

QStringList TParams::Names() const
{
    QStringList names;
    for (int i = 0; i < Count(); ++i)
        names << Items(i)->Name();
    return names;
}

QStringList TParams::ParseSQL(const QString &SQL, bool DoCreate)
{
    QStringList names;
    TOvSQLLexer lexer(SQL);
    for (TOvSQLToken t = lexer.Next(); t.kind != TOvSQLToken::End; t = lexer.Next()) {
        if (t.kind != TOvSQLToken::Param || t.value.isEmpty())
            continue;
        bool seen = false;
        for (const QString &n : std::as_const(names))
            seen = seen || n.compare(t.value, Qt::CaseInsensitive) == 0;
        if (!seen)
            names << t.value;
    }
    if (DoCreate && names != Names()) {
        BeginUpdate();
        // Keep what the user set on parameters that stay.
        std::vector<std::unique_ptr<TParam>> old;
        for (int i = 0; i < Count(); ++i) {
            auto copy = std::make_unique<TParam>();
            copy->Assign(*Items(i));
            old.push_back(std::move(copy));
        }
        Clear();
        for (const QString &name : std::as_const(names)) {
            TParam *p = AddParam(name, TFieldType::ftUnknown, TParamType::ptInput);
            for (const auto &o : old) {
                if (o->Name().compare(name, Qt::CaseInsensitive) == 0) {
                    p->SetDataType(o->DataType());
                    p->SetParamType(o->ParamType());
                    p->SetValue(o->Value());
                    break;
                }
            }
        }
        EndUpdate();
    }
    return names;
}

// --- TField -------------------------------------------------------------------

TField::TField(QObject *AOwner)
    : QObject(AOwner)
{}

TField::TField(TDataSet *DataSet, int FieldNo, const QString &FieldName, TFieldType DataType)
    : QObject(DataSet)
    , m_dataSet(DataSet)
    , m_column(FieldNo)
    , m_fieldName(FieldName)
    , m_dataType(DataType)
    , m_persistent(false)
{}

TField::~TField()
{
    if (m_persistent && m_dataSet)
        m_dataSet->detachField(this);
}

void TField::SetDataSet(TDataSet *Value)
{
    if (Value == m_dataSet)
        return;
    if (!m_persistent)
        throw Exception(QStringLiteral("Field '%1' belongs to %2 while it is open")
                            .arg(m_fieldName, m_dataSet ? m_dataSet->objectName() : QString()));
    if (m_dataSet)
        m_dataSet->CheckInactive();
    if (Value) {
        Value->CheckInactive();
        if (!m_fieldName.isEmpty()) {
            for (const TField *f : Value->m_persistentFields) {
                if (f->m_fieldName == m_fieldName)
                    throw Exception(SDuplicateFieldName().arg(m_fieldName, Value->objectName()));
            }
        }
    }
    if (m_dataSet)
        m_dataSet->detachField(this);
    m_dataSet = Value;
    if (Value) {
        Value->m_persistentFields.push_back(this);
        Value->m_fields = Value->m_persistentFields;
    }
}

int TField::Index() const
{
    if (!m_dataSet)
        return -1;
    const auto &fields = m_dataSet->m_fields;
    const auto it = std::find(fields.begin(), fields.end(), this);
    return it == fields.end() ? -1 : static_cast<int>(it - fields.begin());
}

void TField::SetFieldName(const QString &Value)
{
    if (Value == m_fieldName)
        return;
    if (m_dataSet) {
        m_dataSet->CheckInactive();
        for (const TField *f : m_dataSet->m_persistentFields) {
            if (f != this && f->m_fieldName == Value)
                throw Exception(SDuplicateFieldName().arg(Value, m_dataSet->objectName()));
        }
    }
    m_fieldName = Value;
}

void TField::SetDataType(TFieldType Value)
{
    m_dataType = Value;
}

QVariant TField::Value() const
{
    return m_dataSet && m_column >= 0 ? m_dataSet->FieldValue(m_column) : QVariant();
}

QString TField::AsString() const
{
    const QVariant v = Value();
    if (v.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(v.toByteArray());
    return v.toString();
}

bool TField::AsBoolean() const
{
    const QVariant v = Value();
    if (v.typeId() == QMetaType::QString)
        return SameText(v.toString(), STextTrue()) || v.toString() == QLatin1String("1");
    return v.toBool();
}

// --- TDataSet -----------------------------------------------------------------

TRowSource::~TRowSource() = default;

TDataSet::TDataSet(QObject *AOwner)
    : QObject(AOwner)
{}

TDataSet::~TDataSet()
{
    clearData();
    // The persistent fields go with their dataset, wherever they are owned.
    const std::vector<TField *> fields = std::exchange(m_persistentFields, {});
    m_fields.clear();
    for (TField *f : fields) {
        f->m_dataSet = nullptr;
        delete f;
    }
}

void TDataSet::SetActive(bool Value)
{
    if (Value == m_active)
        return;
    if (Value) {
        clearData();
        try {
            InternalOpen(); // raises: the dataset stays closed
        } catch (...) {
            InternalClose();
            clearData();
            throw;
        }
        m_active = true;
        First();
        Q_EMIT AfterOpen();
    } else {
        // The statement goes before its connection may.
        releaseSource();
        InternalClose();
        clearData();
        m_active = false;
        Q_EMIT AfterClose();
    }
}

void TDataSet::releaseSource()
{
    m_source.reset();
    m_fetchError = nullptr;
}

void TDataSet::clearData()
{
    for (TField *f : m_fields) {
        if (!f->m_persistent)
            delete f;
    }
    for (TField *f : m_persistentFields) {
        f->m_column = -1;
        f->OriginTable.clear();
        f->OriginColumn.clear();
    }
    m_fields = m_persistentFields;
    releaseSource();
    m_rows.clear();
    m_cursor = 0;
    m_bof = true;
}

void TDataSet::detachField(TField *Field)
{
    // An open dataset reads its records through its fields: it closes before
    // one of them goes. This runs in destructors, so it must not raise.
    if (m_active) {
        try {
            Close();
        } catch (...) {
            clearData();
            m_active = false;
        }
    }
    std::erase(m_persistentFields, Field);
    if (!m_active)
        m_fields = m_persistentFields;
    Field->m_dataSet = nullptr;
    Field->m_column = -1;
}

void TDataSet::bindPersistentFields(const QList<TFieldDesc> &Columns)
{
    // Exact names first, then letter case ignored (a server may fold the case
    // of unquoted names); the first column of a name wins.
    QHash<QString, int> exact;
    QHash<QString, int> folded;
    for (int i = Columns.size(); i-- > 0;) {
        exact.insert(Columns.at(i).Name, i);
        folded.insert(Columns.at(i).Name.toCaseFolded(), i);
    }
    QStringList missing;
    for (TField *f : m_persistentFields) {
        int column = exact.value(f->m_fieldName, -1);
        if (column < 0)
            column = folded.value(f->m_fieldName.toCaseFolded(), -1);
        if (column < 0) {
            missing << f->m_fieldName;
            continue;
        }
        const TFieldDesc &desc = Columns.at(column);
        f->m_column = column;
        f->OriginTable = desc.OriginTable;
        f->OriginColumn = desc.OriginColumn;
        if (f->m_dataType == TFieldType::ftUnknown)
            f->m_dataType = desc.DataType;
    }
    if (missing.isEmpty())
        return;
    for (TField *f : m_persistentFields)
        f->m_column = -1;
    if (missing.size() == 1)
        throw Exception(SFieldNotFound().arg(missing.first(), objectName()));
    throw Exception(SFieldsNotFound().arg(QLatin1Char('\'') + missing.join(QStringLiteral("', '"))
                                              + QLatin1Char('\''),
                                          objectName()));
}

void TDataSet::bindFields(const QList<TFieldDesc> &Fields)
{
    clearData();
    m_fieldDefs = Fields;
    if (m_readingDefs)
        return;
    if (!m_persistentFields.empty()) {
        bindPersistentFields(Fields);
    } else {
        for (int i = 0; i < Fields.size(); ++i) {
            auto *f = new TField(this, i, Fields.at(i).Name, Fields.at(i).DataType);
            f->OriginTable = Fields.at(i).OriginTable;
            f->OriginColumn = Fields.at(i).OriginColumn;
            m_fields.push_back(f);
        }
    }
}

void TDataSet::SetData(const QList<TFieldDesc> &Fields, std::vector<QVariantList> Rows)
{
    bindFields(Fields);
    if (m_readingDefs)
        return;
    m_rows = std::move(Rows);
}

void TDataSet::SetRowSource(const QList<TFieldDesc> &Fields, std::unique_ptr<TRowSource> Source)
{
    bindFields(Fields);
    if (m_readingDefs || !Source)
        return; // reading the columns only: the rows are never asked for
    m_source = std::move(Source);
    fetchTo(0);
}

int TDataSet::fetch(int Count) const
{
    if (m_fetchError)
        std::rethrow_exception(m_fetchError);
    if (!m_source || Count <= 0)
        return 0;
    const size_t before = m_rows.size();
    try {
        const int got = m_source->FetchRows(m_rows, Count);
        if (got < Count)
            m_source.reset(); // exhausted: the statement is done with
    } catch (...) {
        m_fetchError = std::current_exception();
        m_source.reset();
        throw;
    }
    return static_cast<int>(m_rows.size() - before);
}

void TDataSet::fetchTo(int Index) const
{
    while (static_cast<int>(m_rows.size()) <= Index && (m_source || m_fetchError)) {
        try {
            fetch(m_batchSize);
        } catch (...) {
            // The rows read before the failure can be visited; the failure
            // is raised when the cursor goes past them.
            if (static_cast<int>(m_rows.size()) > Index)
                return;
            throw;
        }
    }
}

void TDataSet::fetchAll() const
{
    // Growing batches: few round trips for a large rest, little waste for a small one.
    int batch = m_batchSize;
    while (m_source || m_fetchError) {
        fetch(batch);
        batch = std::min(batch * 2, 65536);
    }
}

int TDataSet::FetchMore(int Count)
{
    return fetch(Count);
}

int TDataSet::RecordCount() const
{
    fetchAll();
    return static_cast<int>(m_rows.size());
}

QVariant TDataSet::RecordValue(int Record, int FieldIndex) const
{
    if (Record < 0 || Record >= static_cast<int>(m_rows.size()) || FieldIndex < 0
        || FieldIndex >= FieldCount())
        return QVariant();
    const int column = m_fields[FieldIndex]->m_column;
    const QVariantList &row = m_rows[Record];
    return column >= 0 && column < row.size() ? row.at(column) : QVariant();
}

QObjectList TDataSet::PersistentFields() const
{
    QObjectList fields;
    fields.reserve(static_cast<qsizetype>(m_persistentFields.size()));
    for (TField *f : m_persistentFields)
        fields << f;
    return fields;
}

void TDataSet::UpdateFieldDefs()
{
    if (m_active)
        return;
    QList<TFieldDesc> described;
    if (InternalDescribe(described)) {
        clearData();
        m_fieldDefs = described;
        return;
    }
    struct ReadingDefs
    {
        TDataSet *d;
        ~ReadingDefs() { d->m_readingDefs = false; }
    } reading{this};
    m_readingDefs = true;
    try {
        InternalOpen();
    } catch (...) {
        InternalClose();
        clearData();
        throw;
    }
    InternalClose();
    clearData();
}

QStringList TDataSet::FieldDefNames()
{
    UpdateFieldDefs();
    QStringList names;
    names.reserve(m_fieldDefs.size());
    for (const TFieldDesc &d : std::as_const(m_fieldDefs))
        names << d.Name;
    return names;
}

TField *TDataSet::CreatePersistentField(const QString &FieldName, QObject *Owner)
{
    CheckInactive();
    for (const TField *f : m_persistentFields) {
        if (f->m_fieldName == FieldName)
            throw Exception(SDuplicateFieldName().arg(FieldName, objectName()));
    }
    auto *field = new TField(Owner);
    field->m_fieldName = FieldName;
    for (const TFieldDesc &d : std::as_const(m_fieldDefs)) {
        if (d.Name == FieldName) {
            field->m_dataType = d.DataType;
            break;
        }
    }
    field->SetDataSet(this);
    return field;
}

void TDataSet::OpenWithData(const QList<TFieldDesc> &Fields, std::vector<QVariantList> Rows)
{
    Close();
    SetData(Fields, std::move(Rows));
    m_active = true;
    Q_EMIT AfterOpen();
}

void TDataSet::CheckActive() const
{
    if (!m_active)
        throw Exception(SDataSetClosed().arg(objectName()));
}

void TDataSet::CheckInactive() const
{
    if (m_active)
        throw Exception(SDataSetOpen().arg(objectName()));
}

void TDataSet::First()
{
    CheckActive();
    m_cursor = 0;
    m_bof = true;
}

void TDataSet::Next()
{
    CheckActive();
    if (m_cursor < static_cast<int>(m_rows.size())) {
        // The next record is read before the cursor moves: a failing read
        // leaves the cursor where it was, and Eof stays true only at the end.
        fetchTo(m_cursor + 1);
        ++m_cursor;
    }
    m_bof = false;
}

void TDataSet::Prior()
{
    CheckActive();
    if (m_cursor > 0)
        --m_cursor;
    else
        m_bof = true;
}

void TDataSet::Last()
{
    CheckActive();
    fetchAll();
    m_cursor = m_rows.empty() ? 0 : static_cast<int>(m_rows.size()) - 1;
    m_bof = m_rows.empty();
}

bool TDataSet::Eof() const
{
    return m_cursor >= static_cast<int>(m_rows.size());
}

bool TDataSet::Bof() const
{
    return m_bof;
}

int TDataSet::RecNo() const
{
    return Eof() ? 0 : m_cursor + 1;
}

TField *TDataSet::Fields(int Index) const
{
    if (Index < 0 || Index >= FieldCount())
        throw EListError(QStringLiteral("Field index out of range (%1)").arg(Index));
    return m_fields[Index];
}

TField *TDataSet::FindField(const QString &Name) const
{
    for (TField *f : m_fields) {
        if (f->FieldName().compare(Name, Qt::CaseInsensitive) == 0)
            return f;
    }
    return nullptr;
}

TField *TDataSet::FieldByName(const QString &Name) const
{
    if (TField *f = FindField(Name))
        return f;
    throw Exception(SFieldNotFound().arg(Name, objectName()));
}

void TDataSet::GetFieldNames(TStrings *List) const
{
    List->BeginUpdate();
    List->Clear();
    for (TField *f : m_fields)
        List->Add(f->FieldName());
    List->EndUpdate();
}

QVariant TDataSet::FieldValue(int Index) const
{
    if (m_cursor < 0 || m_cursor >= static_cast<int>(m_rows.size()))
        return QVariant();
    const QVariantList &row = m_rows[m_cursor];
    return Index >= 0 && Index < row.size() ? row.at(Index) : QVariant();
}

// --- TDataSource, TIndexDefs --------------------------------------------------

TDataSource::TDataSource(QObject *AOwner)
    : QObject(AOwner)
{}

TIndexDef *TIndexDefs::Find(const QString &Name) const
{
    for (int i = 0; i < Count(); ++i) {
        if (Items(i)->Name().compare(Name, Qt::CaseInsensitive) == 0)
            return Items(i);
    }
    return nullptr;
}

TIndexDef *TIndexDefs::FindIndexForFields(const QString &Fields) const
{
    auto norm = [](const QString &s) {
        QStringList parts = s.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &p : parts)
            p = p.trimmed().toLower();
        return parts;
    };
    const QStringList wanted = norm(Fields);
    for (int i = 0; i < Count(); ++i) {
        if (norm(Items(i)->Fields()) == wanted)
            return Items(i);
    }
    return nullptr;
}

TIndexDef *TIndexDefs::PrimaryIndex() const
{
    for (int i = 0; i < Count(); ++i) {
        if (Items(i)->Options() & ixPrimary)
            return Items(i);
    }
    return nullptr;
}
