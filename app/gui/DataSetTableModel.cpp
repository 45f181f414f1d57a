#include "DataSetTableModel.h"

#include "orvlib/DB.h"

#include "rtl/SysUtils.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

TDataSetTableModel::TDataSetTableModel(QObject *Parent)
    : QAbstractTableModel(Parent)
{}

void TDataSetTableModel::setDataSet(TDataSet *DataSet)
{
    if (DataSet == m_dataSet)
        return;
    QObject::disconnect(m_opened);
    QObject::disconnect(m_closed);
    m_dataSet = DataSet;
    if (DataSet) {
        // Reopening may bring other fields: start over either way.
        m_opened = connect(DataSet, &TDataSet::AfterOpen, this, &TDataSetTableModel::rebuild);
        m_closed = connect(DataSet, &TDataSet::AfterClose, this, &TDataSetTableModel::rebuild);
        // A dataset freed while shown leaves an empty grid.
        connect(DataSet, &QObject::destroyed, this, &TDataSetTableModel::rebuild,
                Qt::UniqueConnection);
    }
    rebuild();
}

void TDataSetTableModel::rebuild()
{
    beginResetModel();
    m_columns.clear();
    m_rows = 0;
    m_failed = false;
    if (m_dataSet && m_dataSet->Active()) {
        for (int i = 0; i < m_dataSet->FieldCount(); ++i) {
            if (m_dataSet->Fields(i)->Visible())
                m_columns.push_back(i);
        }
        m_rows = m_dataSet->FetchedCount();
    }
    endResetModel();
}

void TDataSetTableModel::sync()
{
    if (!m_dataSet || !m_dataSet->Active()) {
        if (m_rows > 0 || !m_columns.empty())
            rebuild();
        return;
    }
    const int now = m_dataSet->FetchedCount();
    if (now < m_rows) {
        rebuild(); // reopened without our seeing it
    } else if (now > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, now - 1);
        m_rows = now;
        endInsertRows();
    }
}

int TDataSetTableModel::rowCount(const QModelIndex &Parent) const
{
    return Parent.isValid() ? 0 : m_rows;
}

int TDataSetTableModel::columnCount(const QModelIndex &Parent) const
{
    return Parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QString TDataSetTableModel::displayText(const QVariant &Value)
{
    if (Value.isNull())
        return QString();
    switch (Value.typeId()) {
    case QMetaType::QByteArray:
        return tr("(%n byte(s))", nullptr, static_cast<int>(Value.toByteArray().size()));
    case QMetaType::Bool:
        return Value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDateTime:
        return Value.toDateTime().toString(Qt::ISODateWithMs);
    case QMetaType::QDate:
        return Value.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return Value.toTime().toString(Qt::ISODateWithMs);
    default: {
        // A grid row is one line: a long text shows its first line only.
        const QString text = Value.toString();
        const qsizetype eol = text.indexOf(QLatin1Char('\n'));
        return eol < 0 ? text : text.left(eol) + QStringLiteral(" …");
    }
    }
}

QVariant TDataSetTableModel::data(const QModelIndex &Index, int Role) const
{
    if (!m_dataSet || !Index.isValid() || Index.row() >= m_rows
        || Index.column() >= static_cast<int>(m_columns.size()))
        return QVariant();
    const int field = m_columns[Index.column()];
    switch (Role) {
    case Qt::DisplayRole:
        return displayText(m_dataSet->RecordValue(Index.row(), field));
    case Qt::ToolTipRole: {
        const QVariant v = m_dataSet->RecordValue(Index.row(), field);
        return v.isNull() ? tr("(null)") : QVariant();
    }
    case Qt::TextAlignmentRole: {
        switch (m_dataSet->Fields(field)->DataType()) {
        case TFieldType::ftInteger:
        case TFieldType::ftLargeint:
        case TFieldType::ftFloat:
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    default:
        return QVariant();
    }
}

QVariant TDataSetTableModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Role != Qt::DisplayRole)
        return QVariant();
    if (Orientation == Qt::Vertical)
        return Section + 1;
    if (!m_dataSet || Section < 0 || Section >= static_cast<int>(m_columns.size()))
        return QVariant();
    return m_dataSet->Fields(m_columns[Section])->DisplayLabel();
}

bool TDataSetTableModel::canFetchMore(const QModelIndex &Parent) const
{
    return !Parent.isValid() && !m_failed && m_dataSet && m_dataSet->Active()
           && (!m_dataSet->AllFetched() || m_dataSet->FetchedCount() > m_rows);
}

void TDataSetTableModel::fetchMore(const QModelIndex &Parent)
{
    if (!canFetchMore(Parent))
        return;
    try {
        if (m_dataSet->FetchedCount() == m_rows)
            m_dataSet->FetchMore(m_batchSize);
    } catch (const Exception &e) {
        m_failed = true;
        sync(); // the rows read before the failure stay
        emit fetchFailed(e.Message());
        return;
    }
    sync();
    emit fetched();
}
