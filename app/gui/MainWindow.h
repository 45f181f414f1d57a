#pragma once

#include "FormDesigner.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>

class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class TDataPreviewPane;
class TModuleHistory;
class TCodeEditorPane;
class TInspectorPane;
class TModuleSurface;
class TPalettePane;
class TProblemsPane;
class TStructurePane;

// The designer's main window: the data-module surface in the centre, the
// panes in docks around it, and the menus. It owns the designer of the one
// open data module and hands it to every pane (null while none is open).
//
// Every change to the module marks it modified (the title shows "*");
// opening another module, a new one or closing the window asks whether to
// save it first. Errors from the package or the runtime are shown as a
// message box with their text, and the window stays.
class TMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // RecentFilesStore: the ini file keeping the recently opened forms;
    // empty for the user's own (under the XDG config folder).
    explicit TMainWindow(QWidget *Parent = nullptr, const QString &RecentFilesStore = {});
    ~TMainWindow() override;

    const TFormDesignerPtr &designer() const { return m_designer; }
    TModuleSurface *surface() const { return m_surface; }
    TPalettePane *palette() const { return m_palette; }
    TStructurePane *structure() const { return m_structure; }
    TInspectorPane *inspector() const { return m_inspector; }
    TCodeEditorPane *codeEditor() const { return m_codeEditor; }
    TDataPreviewPane *dataPreview() const { return m_dataPreview; }
    TProblemsPane *problems() const { return m_problems; }
    // The designer's window title: the module's file (or root) name, "*"
    // while modified.
    QString titleText() const;

    // File commands; each asks to save a modified module first and returns
    // whether it went through (false after Cancel or an error, which was shown).
    bool newModule();
    // Opens a form file. Its folder becomes the working folder (database
    // files are named relative to the form), a missing SQLite database is
    // created from the script beside it, and then its held-back properties
    // (Connected, Active) are applied; a failure of these is shown and the
    // module opens without it.
    bool openForm(const QString &FileName);
    // Asks for a file with the open dialog, then openForm.
    bool openWithDialog();
    // Save and Save As first ask to save the code-editor tabs with edits not
    // yet in their properties (Yes saves them, No writes without them,
    // Cancel stops). Save As into another folder asks whether the database
    // files the module names relative to its folder should be named from
    // the new one (Yes, one undo step), kept (No) or the save cancelled;
    // the new folder then becomes the working folder.
    bool save();
    bool saveAs();
    // Saves the code editor's current tab into its property.
    bool saveTab();
    // Asks to save a modified module: Yes saves, No discards, Cancel stops.
    // A value typed into the Object Inspector, or a name on the surface, and
    // not yet entered is stored first, here as in Save, Save As and Check
    // Module.
    bool confirmDiscard();

    // The forms opened or saved lately, the latest first.
    QStringList recentFiles() const { return m_recent; }

    // Edit commands on the surface's selection.
    void cut();
    void copy();
    void paste();
    void deleteSelection();
    void selectAll();
    // Takes back the module's last change, or makes again the last one
    // taken back; the Edit menu names both.
    void undo();
    void redo();

    // Loads a package module; its palette page appears.
    bool installPackage(const QString &FileName);
    // Shows the About dialog of the loaded package Name through its own
    // About verb. Returns false when it has none (a message says so).
    bool showPackageAbout(const QString &Name);
    // The installed packages: name, description, version (from the module
    // file), file, in a modal dialog.
    void showInstalledPackages();
    // Checks the module against its databases in the Problems pane, which
    // comes to front; the window keeps answering while it runs.
    void checkModule();

    // The menus' actions by their object names ("actSave", ...), for tests.
    QAction *action(const QString &ObjectName) const;
    QMenu *helpMenu() const { return m_helpMenu; }

signals:
    // Another module was opened, or none is open.
    void designerChanged(const TFormDesignerPtr &Designer);
    // Packages were loaded or unloaded: palette pages may have changed.
    void packagesChanged();

protected:
    void closeEvent(QCloseEvent *Event) override;

private:
    // The window's size and pane proportions: the defaults, then those of
    // the last run from the designer's settings file, always inside the
    // available screen. Kept again when the window closes.
    void applyDefaultLayout();
    void restoreLayout();
    void saveLayout();
    void fitToScreen();
    QDockWidget *dockOf(QWidget *Pane) const;
    QStringList readRecentFiles() const;
    void createPanes();
    void createActions();
    void createMenus();
    void rebuildRecentMenu();
    void rebuildHelpMenu();
    void setDesigner(const TFormDesignerPtr &Designer);
    void addRecent(const QString &FileName);
    void updateTitle();
    void updateStatus();
    void updateActions();
    bool writeTo(const QString &FileName);
    struct TStoredFilePaths
    {
        bool Go = true;         // false: the save was cancelled
        bool Rewritten = false; // the paths were rewritten as the history's last step
    };
    // Before a Save As into NewFolder: asks what to do with the relative file
    // names the module stores (rewrite, keep, cancel) and rewrites them when told.
    TStoredFilePaths rebaseFilePaths(const QString &NewFolder);
    bool savePendingTabs();
    // Stores a value or name typed (in the Object Inspector or on the
    // surface) and not yet entered; false when it was refused.
    bool commitPendingEdits();
    // Opens FileName without asking about the open module.
    bool readForm(const QString &FileName);
    QDockWidget *addPaneDock(QWidget *Pane, const QString &Title, Qt::DockWidgetArea Area);

    TFormDesignerPtr m_designer;
    TModuleSurface *m_surface = nullptr;
    TPalettePane *m_palette = nullptr;
    TStructurePane *m_structure = nullptr;
    TInspectorPane *m_inspector = nullptr;
    TCodeEditorPane *m_codeEditor = nullptr;
    TModuleHistory *m_history = nullptr;
    QString m_recentStore;
    QStringList m_recent;
    int m_untitled = 0;

    QMenu *m_recentMenu = nullptr;
    QMenu *m_viewMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    QList<QDockWidget *> m_docks;
    QList<std::function<void(const TFormDesignerPtr &)>> m_paneSetters;
    TDataPreviewPane *m_dataPreview = nullptr;
    QLabel *m_statusSelection = nullptr;
    QLabel *m_statusModule = nullptr;
    TProblemsPane *m_problems = nullptr;
};
