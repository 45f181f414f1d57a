#include "orvlib/OvUpdateSQL.h"
#include "OvPrivate.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"

#include "rtl/SysUtils.h"

TOvDataSetUpdateObject::TOvDataSetUpdateObject(QObject *AOwner)
    : QObject(AOwner)
{}

TOvDataSetUpdateObject::~TOvDataSetUpdateObject()
{
    if (m_dataSet && m_dataSet->UpdateObject() == this)
        m_dataSet->SetUpdateObject(nullptr);
}

void TOvDataSetUpdateObject::SetDataSet(TOvDataSet *Value)
{
    if (Value == m_dataSet)
        return;
    if (m_dataSet && m_dataSet->UpdateObject() == this)
        m_dataSet->SetUpdateObject(nullptr);
    if (Value)
        Value->SetUpdateObject(this); // sets m_dataSet
    else
        m_dataSet = nullptr;
}

TOvUpdateSQL::TOvUpdateSQL(QObject *AOwner)
    : TOvDataSetUpdateObject(AOwner)
{
    for (auto &list : m_sql)
        list = std::make_unique<TStringList>();
}

TOvUpdateSQL::~TOvUpdateSQL() = default;

TStrings *TOvUpdateSQL::GetSQLIndex(int Index) const
{
    if (Index < 0 || Index > 3)
        throw EListError(QStringLiteral("Statement index out of range (%1)").arg(Index));
    return m_sql[Index].get();
}

void TOvUpdateSQL::SetSQLIndex(int Index, TStrings *Value)
{
    TStrings *list = GetSQLIndex(Index);
    if (!Value)
        list->Clear();
    else
        list->Assign(*Value); // a list assigned to itself stays as it is
}

qint64 TOvUpdateSQL::Apply(TUpdateKind Kind, const QVariantMap &NewValues,
                           const QVariantMap &OldValues)
{
    TOvDataSet *ds = DataSet();
    if (!ds)
        throw Exception(QStringLiteral("%1: no dataset").arg(objectName()));
    const QString text = GetSQL(Kind)->Text();
    if (text.trimmed().isEmpty())
        throw Exception(QStringLiteral("%1: no statement for this update").arg(objectName()));
    TOvDatabase *db = ds->GetDBSession()->OpenDatabase(ds->DatabaseName());
    TParams params;
    params.ParseSQL(text, true);
    auto lookup = [](const QVariantMap &Map, const QString &Name) {
        for (auto it = Map.cbegin(); it != Map.cend(); ++it) {
            if (it.key().compare(Name, Qt::CaseInsensitive) == 0)
                return it.value();
        }
        return QVariant();
    };
    for (int i = 0; i < params.Count(); ++i) {
        TParam *p = params.Items(i);
        if (p->Name().startsWith(QLatin1String("OLD_"), Qt::CaseInsensitive))
            p->SetValue(lookup(OldValues, p->Name().mid(4)));
        else
            p->SetValue(lookup(NewValues, p->Name()));
    }
    const ovlib::BoundStatement st = ovlib::bindParams(text, &params, db->Driver(), objectName());
    TOvMonitor::Trace(st.sql);
    return db->Driver().Execute(st.sql, st.values).RowsAffected;
}
