#include "orvlib/DB.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvSQLLexer.h"

#include "rtl/SysUtils.h"


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

TField::TField(TDataSet *DataSet, int FieldNo, const QString &FieldName, TFieldType DataType)
    : QObject(DataSet)
    , m_dataSet(DataSet)
    , m_fieldNo(FieldNo)
    , m_fieldName(FieldName)
    , m_dataType(DataType)
{}

QVariant TField::Value() const
{
    return m_dataSet->FieldValue(m_fieldNo);
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

TDataSet::TDataSet(QObject *AOwner)
    : QObject(AOwner)
{}

TDataSet::~TDataSet()
{
    clearData();
}

void TDataSet::SetActive(bool Value)
{
    if (Value == m_active)
        return;
    if (Value) {
        clearData();
        InternalOpen(); // raises: the dataset stays closed
        m_active = true;
        First();
        Q_EMIT AfterOpen();
    } else {
        InternalClose();
        clearData();
        m_active = false;
        Q_EMIT AfterClose();
    }
}

void TDataSet::clearData()
{
    for (TField *f : m_fields)
        delete f;
    m_fields.clear();
    m_rows.clear();
    m_cursor = 0;
    m_bof = true;
}

void TDataSet::SetData(const QList<TFieldDesc> &Fields, std::vector<QVariantList> Rows)
{
    clearData();
    for (int i = 0; i < Fields.size(); ++i) {
        auto *f = new TField(this, i, Fields.at(i).Name, Fields.at(i).DataType);
        f->OriginTable = Fields.at(i).OriginTable;
        f->OriginColumn = Fields.at(i).OriginColumn;
        m_fields.push_back(f);
    }
    m_rows = std::move(Rows);
    m_cursor = 0;
    m_bof = true;
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
    if (m_cursor < static_cast<int>(m_rows.size()))
        ++m_cursor;
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
