#pragma once

#include "FormDesigner.h"

#include "designide/ModuleServices.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <memory>

class QPlainTextEdit;
class QTabWidget;
class TSqlHighlighter;

// The code editor: one tab per text module of the environment's module
// services, opened and closed as the services open and close modules (a
// package opens a string-list property, such as a query's SQL, as a
// module). A person edits the text in the tab; the module's editor holds
// it at every keystroke, so whoever saves or closes the module sees it.
//
// Tabs are titled component.property ("qOrders.SQL"); a tab follows its
// component's rename and closes when the component is deleted. A tab
// without edits of its own shows what its property holds after an undo or
// redo. Ctrl+S in a tab saves it.
//
// Saving a tab saves its module through the module's own save path (the
// strings file system writes the text into the property and tells the
// designer). Closing a modified tab asks through the message seam: Yes
// saves, No drops the changes, Cancel keeps it open. A tab whose module
// name ends in "SQL" is coloured as SQL. Errors of a save are shown as a
// message box and leave the tab open and modified.
class TCodeEditorPane : public QWidget
{
    Q_OBJECT

public:
    // Watches Services (the environment's by default).
    explicit TCodeEditorPane(QWidget *Parent = nullptr,
                             std::shared_ptr<TModuleServices> Services = ideModuleServices());
    ~TCodeEditorPane() override;

    // The modules of the module that was open go with it (without asking:
    // their components go); call queryCloseModules() first to let the person
    // save them.
    void setDesigner(const TFormDesignerPtr &Designer);

    // Asks to save each modified module tied to the open module's
    // components (Yes saves, No drops, Cancel stops) and closes them; false
    // when the person cancelled or a save failed, with the rest left open.
    bool queryCloseModules();

    QSize sizeHint() const override { return {640, 260}; }

    int tabCount() const;
    IOTAModulePtr moduleAt(int Index) const;
    QPlainTextEdit *editorAt(int Index) const;
    // The index of the tab of the module FileName (letter case ignored), or -1.
    int indexOf(const QString &FileName) const;
    int currentIndex() const;
    void setCurrentIndex(int Index);
    QString tabTitle(int Index) const;
    // The highlighter of a SQL tab, or null.
    TSqlHighlighter *highlighterAt(int Index) const;
    QTabWidget *tabs() const { return m_tabs; }

    // The tabs of the open module with edits not yet saved into their
    // properties: their indexes, their titles; saving them all (false when
    // one failed, the error shown, the rest left).
    QList<int> pendingTabs() const;
    QStringList modifiedTitles() const;
    bool saveModifiedTabs();

    // Saves the module of tab Index; false when it raised (the error was shown).
    bool saveTab(int Index);
    // Closes tab Index as its close button does; false when it stays open.
    bool closeTab(int Index);

    // Whether a module named FileName is shown with SQL colours.
    static bool isSqlModule(const QString &FileName);
    // The tab caption of a module: its name without the designer's extension
    // and root ("Query1.SQL" for "dfm.DataModule1.Query1.SQL").
    static QString shortName(const QString &FileName);

signals:
    // A module's editor was shown: whoever holds the pane brings it to front.
    void showRequested();
    // A tab was opened, closed or brought to front.
    void tabsChanged();
    // The last tab closed.
    void emptied();

protected:
    // Ctrl+S in a tab saves the tab.
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    class Listener;
    struct Tab
    {
        std::weak_ptr<IOTAModule> Module;
        std::weak_ptr<IOTASourceEditor> Editor;
        QPlainTextEdit *Edit = nullptr;
        TSqlHighlighter *Highlighter = nullptr;
    };

    void moduleOpened(const IOTAModulePtr &Module);
    void moduleClosed(const IOTAModulePtr &Module);
    void editorChanged(const IOTASourceEditorPtr &Editor);
    void editorShown(const IOTASourceEditorPtr &Editor);
    void textEdited(QPlainTextEdit *Edit);
    int indexOfEditor(const IOTAEditor *Editor) const;
    int indexOfWidget(const QWidget *Edit) const;
    void updateTitle(int Index);
    // Whether the module of tab Index keeps the text of a component of Root
    // (or of a component that is gone).
    bool belongsTo(int Index, const QObject *Root) const;
    void closeModulesOf(const QObject *Root);
    // A tab follows the rename of its component and closes when the
    // component goes; one property keeps one tab.
    void followComponents();

    std::shared_ptr<TModuleServices> m_services;
    std::unique_ptr<Listener> m_listener;
    int m_notifier = 0;
    QTabWidget *m_tabs;
    QList<Tab> m_list; // in the order of the tabs
    TFormDesignerPtr m_designer;
    bool m_updating = false;
};
