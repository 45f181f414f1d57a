#pragma once

#include "FormDesigner.h"

#include "orvlib/DB.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableView;
class TDataSetTableModel;

// The data preview: the rows of the selected dataset while it is active, in
// a grid that reads more rows as it scrolls. For anything else (no module,
// no selection, several components, a component that is no dataset, an
// inactive dataset) the grid is empty and a line says why. The pane opens
// no dataset by itself; it follows the dataset opening and closing and the
// selection of the designer. A dataset whose form stores Active = True is
// held closed (reading a form acts on nothing): the line says so, and the
// button Open opens it in one step. A failure to read rows is shown as a
// message and the rows read before stay.
class TDataPreviewPane : public QWidget
{
    Q_OBJECT
public:
    explicit TDataPreviewPane(QWidget *Parent = nullptr);
    ~TDataPreviewPane() override;

    // The designer whose selection the pane shows; null when no module is open.
    void setDesigner(const TFormDesignerPtr &Designer);

    // The dataset shown, or null.
    TDataSet *dataSet() const;
    // The line above the grid: what is shown, or why nothing is.
    QString statusText() const;
    QTableView *grid() const { return m_grid; }
    TDataSetTableModel *model() const { return m_model; }
    // Shown for a held dataset: opens it (what a person asks for).
    QPushButton *openButton() const { return m_open; }

public slots:
    // Shows the designer's selection as it is now.
    void refresh();

private:
    void updateStatus();
    void showFetchError(const QString &Message);
    void openHeld();

    TFormDesignerPtr m_designer;
    QList<QMetaObject::Connection> m_designerConnections;
    QPointer<TDataSet> m_watched; // the selected dataset, shown or not
    QMetaObject::Connection m_watchOpen, m_watchClose;
    QLabel *m_status;
    QPushButton *m_open;
    QTableView *m_grid;
    TDataSetTableModel *m_model;
};
