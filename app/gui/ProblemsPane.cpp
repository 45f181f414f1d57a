#include "ProblemsPane.h"
#include "ModuleCheck.h"
#include "PropertiesPane.h"
#include "StructurePane.h"

#include "orvlib/OvDatabase.h"
#include "rtl/SysUtils.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// How long one slice of the check may keep the window from answering.
constexpr int SliceMs = 15;

enum Column { SeverityColumn, ComponentColumn, PropertyColumn, MessageColumn };

} // namespace

TProblemsPane::TProblemsPane(QWidget *Parent)
    : QWidget(Parent)
    , m_list(new QTreeWidget(this))
    , m_status(new QLabel(this))
    , m_progress(new QProgressBar(this))
    , m_cancel(new QPushButton(tr("Cancel"), this))
    , m_refresh(new QPushButton(tr("Refresh"), this))
{
    m_list->setObjectName(QStringLiteral("problemsList"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels({tr("Severity"), tr("Component"), tr("Property"), tr("Problem")});
    m_list->header()->setStretchLastSection(true);
    m_status->setObjectName(QStringLiteral("problemsStatus"));
    m_progress->setObjectName(QStringLiteral("problemsProgress"));
    m_cancel->setObjectName(QStringLiteral("problemsCancel"));
    m_refresh->setObjectName(QStringLiteral("problemsRefresh"));
    m_refresh->setToolTip(tr("Forget the tables, fields and indexes the module's open "
                             "connections kept, and check the module again"));
    m_progress->hide();
    m_cancel->hide();

    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(m_status, 1);
    bar->addWidget(m_progress);
    bar->addWidget(m_cancel);
    bar->addWidget(m_refresh);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(bar);
    layout->addWidget(m_list, 1);

    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &TProblemsPane::runSlice);
    connect(m_cancel, &QPushButton::clicked, this, &TProblemsPane::cancel);
    connect(m_refresh, &QPushButton::clicked, this, &TProblemsPane::refresh);
    connect(m_list, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *Item) { showProblem(m_list->indexOfTopLevelItem(Item)); });
}

TProblemsPane::~TProblemsPane() = default;

void TProblemsPane::setInspector(TInspectorPane *Inspector)
{
    m_inspector = Inspector;
}

void TProblemsPane::setStructure(TStructureModel *Structure)
{
    m_structure = Structure;
}

void TProblemsPane::setDesigner(const TFormDesignerPtr &Designer)
{
    if (Designer == m_designer)
        return;
    if (running())
        end(QString());
    m_designer = Designer;
    m_list->clear();
    m_rowComponents.clear();
    m_shown = 0;
    m_status->clear();
    if (m_structure)
        m_structure->setCheckMarks({});
}

QString TProblemsPane::status() const
{
    return m_status->text();
}

void TProblemsPane::checkModule()
{
    if (!m_designer)
        return;
    if (running())
        end(QString());
    m_list->clear();
    m_rowComponents.clear();
    m_shown = 0;
    if (m_structure)
        m_structure->setCheckMarks({});
    m_check = std::make_unique<TModuleCheck>(m_designer->Root());
    // A database logged in to in this run is checked with that login; one
    // without a password asks for it as connecting would.
    m_check->SetLogin(
        [](TOvDatabase *Database, TStrings &Params) { return Database->AskLogin(Params); });
    m_progress->setRange(0, m_check->StepCount());
    m_progress->setValue(0);
    m_progress->show();
    m_cancel->show();
    m_status->setText(tr("Checking %1...").arg(m_designer->Root()->objectName()));
    m_slices.start();
}

void TProblemsPane::refresh()
{
    if (!m_designer)
        return;
    for (TOvDatabase *db : m_designer->Root()->findChildren<TOvDatabase *>())
        db->RefreshCatalogue();
    checkModule();
}

void TProblemsPane::runSlice()
{
    // A login asked for in a step runs a modal loop: no step starts inside it.
    if (!m_check || m_inSlice)
        return;
    const QScopedValueRollback<bool> inSlice(m_inSlice, true);
    QElapsedTimer slice;
    slice.start();
    try {
        // At least one step, so that a slow server still moves the check on.
        do
            m_check->Step();
        while (!m_check->Done() && slice.elapsed() < SliceMs);
    } catch (const Exception &e) {
        showNewProblems();
        end(tr("The check stopped: %1").arg(e.Message()));
        return;
    }
    showNewProblems();
    m_progress->setValue(m_check->StepsDone());
    if (m_check->Done()) {
        QHash<const QObject *, QString> marks;
        for (const TCheckProblem &p : m_check->Problems())
            if (p.Component && p.Severity != TCheckSeverity::Info && !marks.contains(p.Component))
                marks.insert(p.Component, p.Message);
        if (m_structure)
            m_structure->setCheckMarks(marks);
        end(m_check->Summary());
    }
}

void TProblemsPane::finish()
{
    while (m_check && !m_inSlice)
        runSlice();
}

void TProblemsPane::cancel()
{
    if (running())
        end(tr("Cancelled after %1 of %2 steps")
                .arg(m_check->StepsDone())
                .arg(m_check->StepCount()));
}

void TProblemsPane::end(const QString &Status)
{
    m_slices.stop();
    // The check's connections close with it.
    m_check.reset();
    m_progress->hide();
    m_cancel->hide();
    m_status->setText(Status);
    emit checkEnded();
}

void TProblemsPane::showNewProblems()
{
    const QList<TCheckProblem> &problems = m_check->Problems();
    for (; m_shown < problems.size(); ++m_shown) {
        const TCheckProblem &p = problems.at(m_shown);
        auto *item = new QTreeWidgetItem(
            m_list, {severityName(p.Severity), p.ComponentName, p.Property, p.Message});
        m_rowComponents.append(p.Component);
        item->setToolTip(MessageColumn, p.Message);
        const QStyle::StandardPixmap icon
            = p.Severity == TCheckSeverity::Error     ? QStyle::SP_MessageBoxCritical
              : p.Severity == TCheckSeverity::Warning ? QStyle::SP_MessageBoxWarning
                                                      : QStyle::SP_MessageBoxInformation;
        item->setIcon(SeverityColumn, style()->standardIcon(icon));
    }
    for (int c : {SeverityColumn, ComponentColumn, PropertyColumn})
        m_list->resizeColumnToContents(c);
}

void TProblemsPane::showProblem(int Row)
{
    QTreeWidgetItem *item = m_list->topLevelItem(Row);
    if (!item || !m_designer)
        return;
    // The component may have gone since the check: the row then selects nothing.
    QObject *component = m_rowComponents.value(Row);
    if (!component)
        return;
    m_designer->select({component});
    const QString property = item->text(PropertyColumn);
    if (!m_inspector || property.isEmpty())
        return;
    QAbstractItemModel *model = m_inspector->view()->model();
    const QModelIndexList rows
        = model->match(model->index(0, 0), Qt::DisplayRole, property, 1,
                       Qt::MatchFixedString | Qt::MatchRecursive | Qt::MatchWrap);
    if (rows.isEmpty())
        return;
    m_inspector->view()->setCurrentIndex(rows.first());
    m_inspector->view()->scrollTo(rows.first());
}
