#pragma once

#include "FormDesigner.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TInspectorPane;
class TModuleCheck;
class TStructureModel;

// The Problems pane: Check Module's findings on the open module, one row
// each (severity, component, property, message). The check (TModuleCheck)
// runs a slice of steps at a time from the event loop, so the window keeps
// answering; a progress bar and a Cancel button show while it runs, and the
// rows appear as the findings come. A double click on a row selects its
// component in the designer and its property in the Object Inspector. When
// a check ends, the structure view marks the components it found wrong.
class TProblemsPane : public QWidget
{
    Q_OBJECT

public:
    explicit TProblemsPane(QWidget *Parent = nullptr);
    ~TProblemsPane() override;

    // The module to check; a running check stops and the rows go.
    void setDesigner(const TFormDesignerPtr &Designer);
    // The Object Inspector a double click leads to, and the structure view
    // whose nodes a finished check marks.
    void setInspector(TInspectorPane *Inspector);
    void setStructure(TStructureModel *Structure);

    // Starts checking the module (a running check starts over).
    void checkModule();
    // Stops a running check; the rows found so far stay.
    void cancel();
    // Refresh: the module's databases forget what their connections kept
    // of the catalogue, and the module is checked again.
    void refresh();
    bool running() const { return m_check != nullptr; }
    // Runs the rest of a running check now, without the event loop.
    void finish();

    QTreeWidget *list() const { return m_list; }
    QProgressBar *progress() const { return m_progress; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *refreshButton() const { return m_refresh; }
    // The last line of the check: its summary, "Checking..." or "Cancelled".
    QString status() const;
    // What a double click on row Row does.
    void showProblem(int Row);

signals:
    // A check ended, by finishing or by Cancel.
    void checkEnded();

private:
    // Runs steps for one slice of time, then lets the window answer.
    void runSlice();
    void showNewProblems();
    void end(const QString &Status);

    TFormDesignerPtr m_designer;
    QPointer<TInspectorPane> m_inspector;
    QPointer<TStructureModel> m_structure;
    std::unique_ptr<TModuleCheck> m_check;
    QTimer m_slices;
    int m_shown = 0;
    bool m_inSlice = false;
    // The component of each row, followed in case it is freed.
    QList<QPointer<QObject>> m_rowComponents;
    QTreeWidget *m_list;
    QLabel *m_status;
    QProgressBar *m_progress;
    QPushButton *m_cancel;
    QPushButton *m_refresh;
};
