#include "DataPreviewPane.h"
#include "DataSetTableModel.h"
#include "GuiErrors.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

TDataPreviewPane::TDataPreviewPane(QWidget *Parent)
    : QWidget(Parent)
    , m_status(new QLabel(this))
    , m_open(new QPushButton(tr("Open"), this))
    , m_grid(new QTableView(this))
    , m_model(new TDataSetTableModel(this))
{
    setObjectName(QStringLiteral("DataPreviewPane"));
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setWordWrap(true);
    m_open->setObjectName(QStringLiteral("btOpenHeld"));
    m_open->setVisible(false);
    connect(m_open, &QPushButton::clicked, this, &TDataPreviewPane::openHeld);
    m_grid->setObjectName(QStringLiteral("grdData"));
    m_grid->setModel(m_model);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setAlternatingRowColors(true);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setDefaultSectionSize(110);
    m_grid->horizontalHeader()->setStretchLastSection(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    auto *statusLine = new QHBoxLayout;
    statusLine->addWidget(m_status, 1);
    statusLine->addWidget(m_open, 0, Qt::AlignTop);
    layout->addLayout(statusLine);
    layout->addWidget(m_grid, 1);

    connect(m_model, &TDataSetTableModel::fetchFailed, this, &TDataPreviewPane::showFetchError);
    // Rows arrive as the grid scrolls: the count in the status line follows.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &TDataPreviewPane::updateStatus);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TDataPreviewPane::updateStatus);
    // The last batch may bring no row, only the news that there are no more.
    connect(m_model, &TDataSetTableModel::fetched, this, &TDataPreviewPane::updateStatus);
    refresh();
}

TDataPreviewPane::~TDataPreviewPane()
{
    for (const auto &c : std::as_const(m_designerConnections))
        disconnect(c);
}

void TDataPreviewPane::setDesigner(const TFormDesignerPtr &Designer)
{
    for (const auto &c : std::as_const(m_designerConnections))
        disconnect(c);
    m_designerConnections.clear();
    m_designer = Designer;
    if (Designer) {
        TFormDesigner *d = Designer.get();
        m_designerConnections
            << connect(d, &TFormDesigner::selectionChanged, this, &TDataPreviewPane::refresh)
            << connect(d, &TFormDesigner::componentsChanged, this, &TDataPreviewPane::refresh)
            // A property change may open, close or reconfigure the dataset.
            << connect(d, &TFormDesigner::designChanged, this, &TDataPreviewPane::refresh);
    }
    refresh();
}

TDataSet *TDataPreviewPane::dataSet() const
{
    return m_model->dataSet();
}

QString TDataPreviewPane::statusText() const
{
    return m_status->text();
}

void TDataPreviewPane::refresh()
{
    const QList<QObject *> selection = m_designer ? m_designer->selection() : QList<QObject *>();
    TDataSet *selected
        = selection.size() == 1 ? qobject_cast<TDataSet *>(selection.first()) : nullptr;
    if (selected != m_watched) {
        disconnect(m_watchOpen);
        disconnect(m_watchClose);
        m_watched = selected;
        // The dataset may open or close without the designer hearing of it
        // (a component editor, the runtime closing it with its database).
        if (selected) {
            m_watchOpen = connect(selected, &TDataSet::AfterOpen, this, &TDataPreviewPane::refresh);
            m_watchClose
                = connect(selected, &TDataSet::AfterClose, this, &TDataPreviewPane::refresh);
        }
    }
    TDataSet *shown = selected && selected->Active() ? selected : nullptr;
    if (shown != m_model->dataSet())
        m_model->setDataSet(shown);
    else
        m_model->sync();
    // The first screenful is read at once: a grid that is not shown yet
    // asks for nothing.
    if (shown && m_model->rowCount() == 0 && m_model->canFetchMore())
        m_model->fetchMore();
    updateStatus();
}

void TDataPreviewPane::updateStatus()
{
    QString text;
    bool held = false;
    const QList<QObject *> selection = m_designer ? m_designer->selection() : QList<QObject *>();
    if (!m_designer) {
        text = tr("No data module is open.");
    } else if (selection.isEmpty()) {
        text = tr("Select an active dataset to see its rows.");
    } else if (selection.size() > 1) {
        text = tr("%n components are selected: select one dataset to see its rows.", nullptr,
                  static_cast<int>(selection.size()));
    } else if (!m_watched) {
        text = tr("%1 is not a dataset.").arg(selection.first()->objectName());
    } else if (!m_watched->Active() && IsHeldActivation(m_watched, QStringLiteral("Active"))) {
        held = true;
        text = tr("%1 is stored open (Active = True) but held closed: nothing ran when the "
                  "form was read. Open it to see its rows.")
                   .arg(m_watched->objectName());
    } else if (!m_watched->Active()) {
        text = tr("%1 is not active: set Active to True to see its rows.")
                   .arg(m_watched->objectName());
    } else {
        const int rows = m_model->rowCount();
        const int fields = m_model->columnCount();
        text = m_watched->AllFetched()
                   ? tr("%1: %2 row(s), %3 field(s).")
                         .arg(m_watched->objectName())
                         .arg(rows)
                         .arg(fields)
                   : tr("%1: first %2 row(s) read, %3 field(s); scroll down to read more.")
                         .arg(m_watched->objectName())
                         .arg(rows)
                         .arg(fields);
    }
    m_status->setText(text);
    m_open->setVisible(held);
}

void TDataPreviewPane::openHeld()
{
    if (!m_watched)
        return;
    // Opening connects its database as well; a failure is shown and the
    // dataset stays held.
    runGuarded([&] { m_watched->Open(); });
    refresh();
}

void TDataPreviewPane::showFetchError(const QString &Message)
{
    updateStatus();
    showErrorMessage(Message);
}
