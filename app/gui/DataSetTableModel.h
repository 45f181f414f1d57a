#pragma once

#include "orvlib/DB.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>

#include <vector>

// The records of an open runtime dataset as a table: one row per record,
// one column per visible field, headed by the field's display label. Rows
// are read from the dataset in batches as a view scrolls to them
// (canFetchMore/fetchMore); nothing is read ahead of the view. The model
// follows the dataset opening and closing; it never opens it itself.
class TDataSetTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TDataSetTableModel(QObject *Parent = nullptr);

    // Shows DataSet (null: nothing). An inactive dataset shows no rows.
    void setDataSet(TDataSet *DataSet);
    TDataSet *dataSet() const { return m_dataSet; }
    // How many records one fetchMore asks the dataset for.
    int batchSize() const { return m_batchSize; }
    void setBatchSize(int Value) { m_batchSize = Value > 0 ? Value : 1; }
    // Takes in records the dataset read on its own (RecordCount, Last, a
    // walk of its cursor) since the model last looked.
    void sync();

    int rowCount(const QModelIndex &Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation,
                        int Role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &Parent = QModelIndex()) const override;
    void fetchMore(const QModelIndex &Parent = QModelIndex()) override;

    // The text a cell shows for Value (a field's value).
    static QString displayText(const QVariant &Value);

signals:
    // Reading more records failed; the model reads no more until the
    // dataset opens again.
    void fetchFailed(const QString &Message);
    // A fetchMore is done: it may have found the end without a new row.
    void fetched();

private:
    void rebuild();

    QPointer<TDataSet> m_dataSet;
    std::vector<int> m_columns; // field index of each column
    int m_rows = 0;
    int m_batchSize = 200;
    bool m_failed = false;
    QMetaObject::Connection m_opened, m_closed;
};
