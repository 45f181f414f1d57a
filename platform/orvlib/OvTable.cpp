#include "OvPrivate.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"

#include "rtl/SysUtils.h"

namespace {
QStringList splitFieldList(const QString &Fields)
{
    QStringList result;
    for (const QString &part : Fields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString f = part.trimmed();
        if (!f.isEmpty())
            result << f;
    }
    return result;
}
} // namespace

void ovlib::fillIndexDefs(const QList<TOvIndexColumn> &Columns, TIndexDefs &Defs)
{
    Defs.BeginUpdate();
    Defs.Clear();
    TIndexDef *current = nullptr;
    QString currentName;
    for (const TOvIndexColumn &c : Columns) {
        if (!current || currentName != c.IndexName) {
            currentName = c.IndexName;
            current = Defs.AddIndexDef();
            // The primary key is listed under SPrimary, as index lists show
            // it; an empty IndexName chooses it as well.
            current->SetName((c.IndexType & itPrimary) ? SPrimary() : c.IndexName);
            TIndexOptions options = 0;
            if (c.IndexType & itPrimary)
                options |= ixPrimary;
            if (c.IndexType & itUnique)
                options |= ixUnique;
            if (c.IndexType & itExpression)
                options |= ixExpression;
            if (c.IndexType & itPartial)
                options |= ixPartial;
            current->SetOptions(options);
        }
        if (!c.ColumnName.isEmpty()) {
            const QString fields = current->Fields();
            current->SetFields(fields.isEmpty() ? c.ColumnName
                                                : fields + QLatin1Char(';') + c.ColumnName);
        }
    }
    Defs.EndUpdate();
}

// --- TOvTable -----------------------------------------------------------------

TOvTable::TOvTable(QObject *AOwner)
    : TOvDataSet(AOwner)
    , m_indexDefs(new TIndexDefs(this))
{
    m_indexDefs->setObjectName(QStringLiteral("IndexDefs"));
}

TOvTable::~TOvTable() = default;

void TOvTable::SetTableName(const QString &Value)
{
    if (Value == m_tableName)
        return;
    Close();
    m_tableName = Value;
    m_indexDefs->Clear();
}

void TOvTable::SetIndexName(const QString &Value)
{
    if (Value == m_indexName && m_indexFieldNames.isEmpty())
        return;
    Close();
    m_indexName = Value;
    m_indexFieldNames.clear();
}

void TOvTable::SetIndexFieldNames(const QString &Value)
{
    if (Value == m_indexFieldNames)
        return;
    Close();
    m_indexFieldNames = Value;
    if (!Value.isEmpty())
        m_indexName.clear();
}

void TOvTable::SetMasterFields(const QString &Value)
{
    if (Value == m_masterFields)
        return;
    Close();
    m_masterFields = Value;
}

void TOvTable::SetMasterSource(TDataSource *Value)
{
    if (Value == m_masterSource)
        return;
    Close();
    m_masterSource = Value;
}

void TOvTable::UpdateIndexDefs()
{
    if (m_tableName.trimmed().isEmpty())
        throw Exception(SNoTableName().arg(objectName()));
    const bool attached = Database() != nullptr;
    TOvDatabase *db = AttachDatabase();
    QList<TOvIndexColumn> columns;
    try {
        columns = db->Driver().IndexColumns(m_tableName);
    } catch (...) {
        if (!attached)
            DetachDatabase();
        throw;
    }
    if (!attached && !Active())
        DetachDatabase();
    ovlib::fillIndexDefs(columns, *m_indexDefs);
}

void TOvTable::GetIndexNames(TStrings *List)
{
    TStringList names;
    const TIndexDefs &defs = currentIndexDefs();
    for (int i = 0; i < defs.Count(); ++i) {
        // An expression index gives no order the table can follow.
        if (!(defs.Items(i)->Options() & ixExpression))
            names.Add(defs.Items(i)->Name());
    }
    List->Assign(names);
}

void TOvTable::GetIndexFieldLists(TStrings *List)
{
    TStringList fields;
    const TIndexDefs &defs = currentIndexDefs();
    for (int i = 0; i < defs.Count(); ++i) {
        const TIndexDef *def = defs.Items(i);
        if (!(def->Options() & ixExpression) && !def->Fields().isEmpty()
            && fields.IndexOf(def->Fields()) < 0)
            fields.Add(def->Fields());
    }
    List->Assign(fields);
}

const TIndexDefs &TOvTable::currentIndexDefs()
{
    // An open table read its indexes when it opened.
    if (!Active()) {
        m_indexDefs->Clear();
        if (!m_tableName.trimmed().isEmpty())
            GetDBSession()->GetIndexDefs(DatabaseName(), m_tableName, m_indexDefs);
    }
    return *m_indexDefs;
}

QStringList TOvTable::IndexFieldList() const
{
    if (!m_indexFieldNames.trimmed().isEmpty())
        return splitFieldList(m_indexFieldNames);
    if (!m_indexName.isEmpty()) {
        const TIndexDef *def = m_indexDefs->Find(m_indexName);
        return def ? splitFieldList(def->Fields()) : QStringList();
    }
    const TIndexDef *primary = m_indexDefs->PrimaryIndex();
    return primary ? splitFieldList(primary->Fields()) : QStringList();
}

int TOvTable::GetIndexFieldCount() const
{
    return static_cast<int>(IndexFieldList().size());
}

TField *TOvTable::GetIndexField(int Index) const
{
    const QStringList fields = IndexFieldList();
    if (Index < 0 || Index >= fields.size())
        throw EListError(QStringLiteral("Index field out of range (%1)").arg(Index));
    return FieldByName(fields.at(Index));
}

void TOvTable::InternalOpen()
{
    if (m_tableName.trimmed().isEmpty())
        throw Exception(SNoTableName().arg(objectName()));
    TOvDatabase *db = AttachDatabase();
    try {
        TOvDriver &driver = db->Driver();
        if (driver.Columns(m_tableName).isEmpty())
            throw EOvDatabaseError(QStringLiteral("Table %1 does not exist").arg(m_tableName));
        UpdateIndexDefs();
        if (!m_indexName.isEmpty() && m_indexFieldNames.trimmed().isEmpty()
            && !m_indexDefs->Find(m_indexName))
            throw Exception(SIndexNotFound().arg(m_indexName, m_tableName));

        const QStringList order = IndexFieldList();
        QString sql = QStringLiteral("select * from ") + driver.QuoteObjectName(m_tableName);
        QVariantList values;
        // Detail rows: the leading index fields equal the master's fields.
        TDataSet *master = m_masterSource ? m_masterSource->DataSet() : nullptr;
        const QStringList masterFields = splitFieldList(m_masterFields);
        if (master && master->Active() && !masterFields.isEmpty()) {
            QStringList conditions;
            for (int i = 0; i < masterFields.size() && i < order.size(); ++i) {
                conditions << driver.QuoteColumnName(order.at(i)) + QStringLiteral(" = ")
                                  + driver.Placeholder(i);
                values << master->FieldByName(masterFields.at(i))->Value();
            }
            if (!conditions.isEmpty())
                sql += QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));
        }
        if (!order.isEmpty()) {
            QStringList quoted;
            for (const QString &f : order)
                quoted << driver.QuoteColumnName(f);
            sql += QStringLiteral(" order by ") + quoted.join(QStringLiteral(", "));
        }
        TOvMonitor::Trace(sql);
        OpenRows(sql, values);
    } catch (...) {
        DetachDatabase();
        throw;
    }
}
