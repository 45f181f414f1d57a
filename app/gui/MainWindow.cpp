#include "MainWindow.h"

#include "CodeEditorPane.h"
#include "DataPreviewPane.h"
#include "EmbeddedDatabases.h"
#include "GuiErrors.h"
#include "ModuleEditing.h"
#include "ModuleHistory.h"
#include "ModuleSurface.h"
#include "PalettePane.h"
#include "ProblemsPane.h"
#include "PropertiesPane.h"
#include "RelativePaths.h"
#include "StructurePane.h"

#include "designide/ComponentEditors.h"
#include "designide/FormFile.h"
#include "designide/PackageLoader.h"
#include "designide/Registrations.h"
#include "orvlib/OvCommon.h"
#include "rtl/Dialogs.h"
#include "rtl/Forms.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <tuple>

namespace {

constexpr int MaxRecent = 8;
const char RecentSection[] = "RecentFiles";
const char LayoutSection[] = "Layout";
const char FormFilter[] = "Form files (*.dfm)|*.dfm|All files|*";

QString defaultRecentStore()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("orvanta/ovdesigner.ini"));
}

} // namespace

TMainWindow::TMainWindow(QWidget *Parent, const QString &RecentFilesStore)
    : QMainWindow(Parent)
    , m_recentStore(RecentFilesStore.isEmpty() ? defaultRecentStore() : RecentFilesStore)
{
    setObjectName(QStringLiteral("mainWindow"));
    m_surface = new TModuleSurface(this);
    setCentralWidget(m_surface);
    m_recent = readRecentFiles();
    createActions();
    createPanes();
    createMenus();
    m_statusSelection = new QLabel(this);
    m_statusSelection->setObjectName(QStringLiteral("statusSelection"));
    m_statusModule = new QLabel(this);
    m_statusModule->setObjectName(QStringLiteral("statusModule"));
    // A long component name is cut, and never widens the window.
    m_statusSelection->setMinimumWidth(1);
    statusBar()->addPermanentWidget(m_statusSelection);
    statusBar()->addPermanentWidget(m_statusModule);
    statusBar()->showMessage(QString());
    applyDefaultLayout();
    restoreLayout();
    setDesigner(nullptr);
}

TMainWindow::~TMainWindow()
{
    // The panes let go of the module before the designer frees it.
    setDesigner(nullptr);
}

// --- Panes ---------------------------------------------------------------------------

QDockWidget *TMainWindow::addPaneDock(QWidget *Pane, const QString &Title, Qt::DockWidgetArea Area)
{
    auto *dock = new QDockWidget(Title, this);
    dock->setObjectName(Pane->objectName() + QStringLiteral("Dock"));
    dock->setWidget(Pane);
    addDockWidget(Area, dock);
    m_docks.append(dock);
    return dock;
}

// Every pane of the window is made here and told of the open module through
// its setDesigner.
void TMainWindow::createPanes()
{
    // The structure and the Object Inspector have the left side's whole
    // height: the bottom panes sit under the surface only.
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    m_paneSetters.append([this](const TFormDesignerPtr &D) { m_surface->setDesigner(D); });

    m_palette = new TPalettePane(this);
    m_palette->setObjectName(QStringLiteral("palettePane"));
    addPaneDock(m_palette, tr("Palette"), Qt::TopDockWidgetArea);
    m_paneSetters.append([this](const TFormDesignerPtr &D) { m_palette->setDesigner(D); });
    // A glyph chosen on the palette is placed by the next click on the
    // surface; placing it (or Escape) clears the palette's choice.
    connect(m_palette, &TPalettePane::componentClassChosen, m_surface,
            &TModuleSurface::setPendingClass);
    connect(m_palette, &TPalettePane::choiceCleared, m_surface,
            [this] { m_surface->setPendingClass(nullptr); });
    connect(m_surface, &TModuleSurface::pendingClassChanged, m_palette,
            [this](TComponentClass Class) {
                if (!Class)
                    m_palette->clearChoice();
            });

    // Enter or a double click on a glyph places its component in view at once.
    connect(m_palette, &TPalettePane::placeRequested, this, [this](TComponentClass Class) {
        if (!m_designer)
            return;
        const QPoint at = freeDesignPosition(m_designer->Root(), m_surface->placementArea());
        if (runGuarded([&] { addComponent(*m_designer, Class, at); }))
            m_surface->setFocus(Qt::ShortcutFocusReason);
    });

    m_structure = new TStructurePane(this);
    m_structure->setObjectName(QStringLiteral("structurePane"));
    addPaneDock(m_structure, tr("Structure"), Qt::LeftDockWidgetArea);
    m_paneSetters.append([this](const TFormDesignerPtr &D) { m_structure->setDesigner(D); });

    m_inspector = new TInspectorPane(this);
    m_inspector->setObjectName(QStringLiteral("inspectorPane"));
    addPaneDock(m_inspector, tr("Object Inspector"), Qt::LeftDockWidgetArea);
    m_paneSetters.append([this](const TFormDesignerPtr &D) { m_inspector->setDesigner(D); });

    m_codeEditor = new TCodeEditorPane(this);
    m_codeEditor->setObjectName(QStringLiteral("codeEditorPane"));
    QDockWidget *code = addPaneDock(m_codeEditor, tr("Code Editor"), Qt::BottomDockWidgetArea);
    m_paneSetters.append([this](const TFormDesignerPtr &D) { m_codeEditor->setDesigner(D); });
    // Hidden until a package shows a module in it; then it comes to front.
    code->hide();
    connect(m_codeEditor, &TCodeEditorPane::showRequested, code, [this, code] {
        const bool wasHidden = code->isHidden();
        code->show();
        code->raise();
        // A dock laid out while hidden comes back with its minimum height;
        // it takes at most a third of the window's.
        if (wasHidden)
            resizeDocks({code}, {qMin(m_codeEditor->sizeHint().height(), height() / 3)},
                        Qt::Vertical);
    });
    // With its last tab the pane goes, and the data preview has the room.
    connect(m_codeEditor, &TCodeEditorPane::emptied, code, &QDockWidget::hide);
    connect(m_codeEditor, &TCodeEditorPane::tabsChanged, this, &TMainWindow::updateActions);

    m_dataPreview = new TDataPreviewPane(this);
    m_dataPreview->setObjectName(QStringLiteral("dataPreviewPane"));
    QDockWidget *preview = addPaneDock(m_dataPreview, tr("Data Preview"), Qt::BottomDockWidgetArea);
    // It shares the bottom with the code editor, as a tab once that shows.
    tabifyDockWidget(code, preview);
    m_paneSetters.append([this](const TFormDesignerPtr &D) { m_dataPreview->setDesigner(D); });

    m_problems = new TProblemsPane(this);
    m_problems->setObjectName(QStringLiteral("problemsPane"));
    m_problems->setInspector(m_inspector);
    m_problems->setStructure(m_structure->model());
    QDockWidget *problems = addPaneDock(m_problems, tr("Problems"), Qt::BottomDockWidgetArea);
    tabifyDockWidget(preview, problems);
    preview->raise();
    m_paneSetters.append([this](const TFormDesignerPtr &D) { m_problems->setDesigner(D); });
}

void TMainWindow::checkModule()
{
    if (!m_designer || !commitPendingEdits())
        return;
    auto *dock = qobject_cast<QDockWidget *>(m_problems->parentWidget());
    dock->show();
    dock->raise();
    m_problems->checkModule();
}

// --- Actions and menus ------------------------------------------------------------

void TMainWindow::createActions()
{
    auto make = [this](const char *Name, const QString &Text, QKeySequence Keys,
                       void (TMainWindow::*Slot)()) {
        auto *a = new QAction(Text, this);
        a->setObjectName(QLatin1String(Name));
        if (!Keys.isEmpty())
            a->setShortcut(Keys);
        connect(a, &QAction::triggered, this, [this, Slot] { (this->*Slot)(); });
        return a;
    };
    auto makeBool = [this](const char *Name, const QString &Text, QKeySequence Keys,
                           bool (TMainWindow::*Slot)()) {
        auto *a = new QAction(Text, this);
        a->setObjectName(QLatin1String(Name));
        if (!Keys.isEmpty())
            a->setShortcut(Keys);
        connect(a, &QAction::triggered, this, [this, Slot] { (this->*Slot)(); });
        return a;
    };
    makeBool("actNew", tr("&New Data Module"), QKeySequence::New, &TMainWindow::newModule);
    makeBool("actOpen", tr("&Open..."), QKeySequence::Open, &TMainWindow::openWithDialog);
    makeBool("actSave", tr("&Save"), QKeySequence::Save, &TMainWindow::save);
    // Not every desktop's key scheme has a Save As key: the designer's own.
    makeBool("actSaveAs", tr("Save &As..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
             &TMainWindow::saveAs);
    // Ctrl+S in a code-editor tab saves the tab; the menu shows the key
    // without owning it (the window's Save has it everywhere else).
    makeBool("actSaveTab", tr("Save &Tab"), QKeySequence(), &TMainWindow::saveTab);
    auto *quit = new QAction(tr("E&xit"), this);
    quit->setObjectName(QStringLiteral("actExit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    make("actUndo", tr("&Undo"), QKeySequence::Undo, &TMainWindow::undo);
    make("actRedo", tr("&Redo"), QKeySequence(), &TMainWindow::redo)
        ->setShortcuts(
            {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    make("actCut", tr("Cu&t"), QKeySequence::Cut, &TMainWindow::cut);
    make("actCopy", tr("&Copy"), QKeySequence::Copy, &TMainWindow::copy);
    make("actPaste", tr("&Paste"), QKeySequence::Paste, &TMainWindow::paste);
    make("actDelete", tr("&Delete"), QKeySequence::Delete, &TMainWindow::deleteSelection);
    make("actSelectAll", tr("Select &All"), QKeySequence::SelectAll, &TMainWindow::selectAll);
    auto *rename = new QAction(tr("&Rename"), this);
    rename->setObjectName(QStringLiteral("actRename"));
    rename->setShortcut(QKeySequence(Qt::Key_F2));
    connect(rename, &QAction::triggered, this, [this] {
        if (m_designer && m_designer->selection().size() == 1)
            m_surface->beginRename(m_designer->selection().first());
    });

    auto *install = new QAction(tr("&Install Package..."), this);
    install->setObjectName(QStringLiteral("actInstallPackage"));
    connect(install, &QAction::triggered, this, [this] {
        TOpenDialog dialog;
        dialog.Title = tr("Install Package");
        dialog.Filter = QStringLiteral("Packages (*.so)|*.so|All files|*");
        if (dialog.Execute())
            installPackage(dialog.FileName);
    });
    make("actInstalledPackages", tr("Installed &Packages..."), QKeySequence(),
         &TMainWindow::showInstalledPackages);
    make("actCheckModule", tr("Chec&k Module"), QKeySequence(Qt::CTRL | Qt::Key_F9),
         &TMainWindow::checkModule);

    // Lining up the selection with its first component.
    const std::pair<const char *, TAlignment> aligns[]
        = {{"actAlignLefts", TAlignment::Lefts},
           {"actAlignRights", TAlignment::Rights},
           {"actAlignTops", TAlignment::Tops},
           {"actAlignBottoms", TAlignment::Bottoms},
           {"actAlignHorizontalCentres", TAlignment::HorizontalCentres},
           {"actAlignVerticalCentres", TAlignment::VerticalCentres}};
    const QStringList alignTexts{tr("&Lefts"),
                                 tr("&Rights"),
                                 tr("&Tops"),
                                 tr("&Bottoms"),
                                 tr("&Horizontal Centres"),
                                 tr("&Vertical Centres")};
    for (int i = 0; i < 6; ++i) {
        auto *a = new QAction(alignTexts[i], this);
        a->setObjectName(QLatin1String(aligns[i].first));
        const TAlignment how = aligns[i].second;
        const QString step = tr("Align %1").arg(QString(alignTexts[i]).remove(QLatin1Char('&')));
        connect(a, &QAction::triggered, this, [this, how, step] {
            if (!m_designer)
                return;
            if (m_history)
                m_history->nameNextStep(step);
            alignComponents(*m_designer, m_designer->selection(), how);
        });
    }
    for (const auto &[name, text, orientation] :
         {std::tuple{"actSpaceAcross", tr("Space Evenly &Across"), Qt::Horizontal},
          std::tuple{"actSpaceDown", tr("Space Evenly &Down"), Qt::Vertical}}) {
        auto *a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        const QString step = QString(text).remove(QLatin1Char('&'));
        const Qt::Orientation how = orientation;
        connect(a, &QAction::triggered, this, [this, how, step] {
            if (!m_designer)
                return;
            if (m_history)
                m_history->nameNextStep(step);
            spaceEvenly(*m_designer, m_designer->selection(), how);
        });
    }
    auto *snap = new QAction(tr("&Snap to Grid"), this);
    snap->setObjectName(QStringLiteral("actSnapToGrid"));
    snap->setCheckable(true);
    connect(snap, &QAction::toggled, m_surface, &TModuleSurface::setSnapToGrid);

    // The clipboard commands, Delete and Rename act on the surface; the
    // panes keep their own keys. Undo and redo work from every pane (a text
    // field being edited keeps its own).
    for (const char *name :
         {"actCut", "actCopy", "actPaste", "actSelectAll", "actDelete", "actRename"})
        action(QLatin1String(name))->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    for (const char *name :
         {"actCut", "actCopy", "actPaste", "actSelectAll", "actDelete", "actRename"})
        m_surface->addAction(action(QLatin1String(name)));
    for (const char *name : {"actUndo", "actRedo"})
        addAction(action(QLatin1String(name)));

    m_surface->setEnvironmentActions(
        {action(QStringLiteral("actCut")), action(QStringLiteral("actCopy")),
         action(QStringLiteral("actPaste")), action(QStringLiteral("actDelete")),
         action(QStringLiteral("actSelectAll")), rename});
}

QAction *TMainWindow::action(const QString &ObjectName) const
{
    return findChild<QAction *>(ObjectName, Qt::FindDirectChildrenOnly);
}

void TMainWindow::createMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->addAction(action(QStringLiteral("actNew")));
    file->addAction(action(QStringLiteral("actOpen")));
    m_recentMenu = file->addMenu(tr("Open &Recent"));
    m_recentMenu->setObjectName(QStringLiteral("recentMenu"));
    file->addAction(action(QStringLiteral("actSave")));
    file->addAction(action(QStringLiteral("actSaveAs")));
    file->addAction(action(QStringLiteral("actSaveTab")));
    file->addSeparator();
    file->addAction(action(QStringLiteral("actExit")));
    rebuildRecentMenu();

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(action(QStringLiteral("actUndo")));
    edit->addAction(action(QStringLiteral("actRedo")));
    edit->addSeparator();
    for (const char *name : {"actCut", "actCopy", "actPaste", "actDelete"})
        edit->addAction(action(QLatin1String(name)));
    edit->addSeparator();
    edit->addAction(action(QStringLiteral("actSelectAll")));
    edit->addAction(action(QStringLiteral("actRename")));
    edit->addSeparator();
    QMenu *align = edit->addMenu(tr("A&lign"));
    align->setObjectName(QStringLiteral("alignMenu"));
    for (const char *name : {"actAlignLefts", "actAlignRights", "actAlignTops", "actAlignBottoms",
                             "actAlignHorizontalCentres", "actAlignVerticalCentres"})
        align->addAction(action(QLatin1String(name)));
    align->addSeparator();
    align->addAction(action(QStringLiteral("actSpaceAcross")));
    align->addAction(action(QStringLiteral("actSpaceDown")));
    edit->addAction(action(QStringLiteral("actSnapToGrid")));

    m_viewMenu = menuBar()->addMenu(tr("&View"));
    for (QDockWidget *dock : std::as_const(m_docks))
        m_viewMenu->addAction(dock->toggleViewAction());
    m_viewMenu->menuAction()->setVisible(!m_docks.isEmpty());
    // A key for each pane: it shows the pane and gives it the keyboard.
    m_viewMenu->addSeparator();
    const auto focusing = [this](QWidget *Pane, QWidget *Target) {
        return [this, Pane, Target] {
            if (QDockWidget *dock = dockOf(Pane)) {
                dock->show();
                dock->raise();
            }
            Target->setFocus(Qt::ShortcutFocusReason);
        };
    };
    for (const auto &[name, text, keys, go] :
         {std::tuple{"actFocusInspector", tr("Go to Object &Inspector"), QKeySequence(Qt::Key_F11),
                     std::function<void()>(focusing(m_inspector, m_inspector->view()))},
          std::tuple{"actFocusStructure", tr("Go to &Structure"),
                     QKeySequence(Qt::SHIFT | Qt::Key_F11),
                     std::function<void()>(focusing(m_structure, m_structure->view()))},
          std::tuple{"actFocusSurface", tr("Go to the S&urface"), QKeySequence(Qt::Key_F12),
                     std::function<void()>(focusing(m_surface, m_surface))},
          std::tuple{"actFocusPalette", tr("Go to the &Palette"),
                     QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P), std::function<void()>([this] {
                         dockOf(m_palette)->show();
                         m_palette->focusGlyphs();
                     })}}) {
        auto *a = new QAction(text, this);
        m_viewMenu->addAction(a);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(keys);
        connect(a, &QAction::triggered, this, go);
    }

    QMenu *component = menuBar()->addMenu(tr("&Component"));
    component->addAction(action(QStringLiteral("actCheckModule")));
    component->addSeparator();
    component->addAction(action(QStringLiteral("actInstallPackage")));
    component->addAction(action(QStringLiteral("actInstalledPackages")));

    m_helpMenu = menuBar()->addMenu(tr("&Help"));
    connect(m_helpMenu, &QMenu::aboutToShow, this, &TMainWindow::rebuildHelpMenu);
    rebuildHelpMenu();
}

void TMainWindow::rebuildRecentMenu()
{
    m_recentMenu->clear();
    for (const QString &file : std::as_const(m_recent)) {
        QAction *a = m_recentMenu->addAction(QDir::toNativeSeparators(file));
        connect(a, &QAction::triggered, this, [this, file] { openForm(file); });
    }
    m_recentMenu->setEnabled(!m_recent.isEmpty());
}

// One About entry for each loaded package, as the package names itself.
void TMainWindow::rebuildHelpMenu()
{
    m_helpMenu->clear();
    for (const TLoadedPackage &pkg : loadedPackages()) {
        const QString text = pkg.Description.isEmpty() ? pkg.Name : pkg.Description;
        QAction *a = m_helpMenu->addAction(tr("About %1...").arg(text));
        a->setObjectName(QStringLiteral("about") + pkg.Name);
        const QString name = pkg.Name;
        connect(a, &QAction::triggered, this, [this, name] { showPackageAbout(name); });
    }
    if (m_helpMenu->isEmpty())
        m_helpMenu->addAction(tr("No packages installed"))->setEnabled(false);
}

void TMainWindow::addRecent(const QString &FileName)
{
    const QString file = QFileInfo(FileName).absoluteFilePath();
    m_recent.removeAll(file);
    m_recent.prepend(file);
    while (m_recent.size() > MaxRecent)
        m_recent.removeLast();
    QList<std::pair<QString, QString>> entries;
    for (int i = 0; i < m_recent.size(); ++i)
        entries.append({QStringLiteral("File%1").arg(i + 1), m_recent[i]});
    try {
        TIniFile(m_recentStore).ReplaceSection(QLatin1String(RecentSection), entries);
    } catch (const Exception &e) {
        statusBar()->showMessage(tr("Recent files not kept: %1").arg(e.Message()), 8000);
    }
    rebuildRecentMenu();
}

QStringList TMainWindow::readRecentFiles() const
{
    QStringList files;
    const TIniFile store(m_recentStore);
    for (const auto &[key, value] : store.ReadSectionEntries(QLatin1String(RecentSection)))
        if (!value.isEmpty())
            files.append(value);
    // The list as an earlier version kept it.
    if (files.isEmpty() && !store.SectionExists(QLatin1String(RecentSection)))
        files = QSettings(m_recentStore, QSettings::IniFormat)
                    .value(QStringLiteral("RecentFiles"))
                    .toStringList();
    return files.mid(0, MaxRecent);
}

// --- Layout ---------------------------------------------------------------------------

QDockWidget *TMainWindow::dockOf(QWidget *Pane) const
{
    return qobject_cast<QDockWidget *>(Pane->parentWidget());
}

// The structure view and the Object Inspector get the height of the left
// side, the data preview a strip at the bottom; the window fits the screen.
void TMainWindow::applyDefaultLayout()
{
    resize(1100, 720);
    fitToScreen();
    const int h = height();
    resizeDocks({dockOf(m_structure)}, {qMin(320, width() / 3)}, Qt::Horizontal);
    resizeDocks({dockOf(m_structure), dockOf(m_inspector)}, {h * 2 / 5, h * 3 / 5}, Qt::Vertical);
    resizeDocks({dockOf(m_dataPreview)}, {qMax(120, h / 6)}, Qt::Vertical);
}

void TMainWindow::fitToScreen()
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    // The frame and the title bar come on top of the window's own size.
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize(16, 40);
    const QSize most = room.size() - frame;
    if (width() > most.width() || height() > most.height())
        resize(size().boundedTo(most));
    QRect box = frameGeometry();
    if (!room.contains(box)) {
        box.moveRight(qMin(box.right(), room.right()));
        box.moveBottom(qMin(box.bottom(), room.bottom()));
        box.moveLeft(qMax(box.left(), room.left()));
        box.moveTop(qMax(box.top(), room.top()));
        move(box.topLeft());
    }
}

void TMainWindow::restoreLayout()
{
    const TIniFile store(m_recentStore);
    const QByteArray geometry = QByteArray::fromBase64(
        store.ReadString(QLatin1String(LayoutSection), QStringLiteral("Geometry"), {}).toLatin1());
    const QByteArray state = QByteArray::fromBase64(
        store.ReadString(QLatin1String(LayoutSection), QStringLiteral("State"), {}).toLatin1());
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    if (!state.isEmpty())
        restoreState(state);
    // A screen smaller than the last one, or a code editor with no tab.
    fitToScreen();
    if (m_codeEditor->tabCount() == 0)
        dockOf(m_codeEditor)->hide();
}

void TMainWindow::saveLayout()
{
    try {
        TIniFile(m_recentStore)
            .ReplaceSection(
                QLatin1String(LayoutSection),
                {{QStringLiteral("Geometry"), QString::fromLatin1(saveGeometry().toBase64())},
                 {QStringLiteral("State"), QString::fromLatin1(saveState().toBase64())}});
    } catch (const Exception &) {
        // The window closes all the same; the next start takes the defaults.
    }
}

// --- The open module -------------------------------------------------------------

void TMainWindow::setDesigner(const TFormDesignerPtr &Designer)
{
    if (m_designer)
        m_designer->disconnect(this);
    delete m_history;
    m_history = nullptr;
    m_designer = Designer;
    // A module opens with itself selected, as the inspector then shows it.
    if (m_designer && m_designer->Root())
        m_designer->select({m_designer->Root()});
    for (const auto &set : std::as_const(m_paneSetters))
        set(m_designer);
    if (m_designer) {
        m_history = new TModuleHistory(m_designer, 100, this);
        connect(m_history, &TModuleHistory::changed, this, &TMainWindow::updateActions);
        connect(m_designer.get(), &TFormDesigner::modifiedChanged, this, &TMainWindow::updateTitle);
        connect(m_designer.get(), &TFormDesigner::fileNameChanged, this, &TMainWindow::updateTitle);
        connect(m_designer.get(), &TFormDesigner::selectionChanged, this,
                &TMainWindow::updateActions);
        connect(m_designer.get(), &TFormDesigner::modifiedChanged, this,
                &TMainWindow::updateStatus);
        connect(m_designer.get(), &TFormDesigner::componentsChanged, this,
                &TMainWindow::updateStatus);
    }
    updateTitle();
    updateActions();
    emit designerChanged(m_designer);
}

QString TMainWindow::titleText() const
{
    QString name = tr("(no data module)");
    if (m_designer) {
        name = m_designer->fileName().isEmpty()
                   ? (m_designer->Root() ? m_designer->Root()->objectName() : QString())
                   : QFileInfo(m_designer->fileName()).fileName();
        if (m_designer->isModified())
            name += QLatin1Char('*');
    }
    return name + QStringLiteral(" - ovdesigner");
}

void TMainWindow::updateTitle()
{
    setWindowTitle(titleText());
}

// The status bar: what is selected, and the module's state and size.
void TMainWindow::updateStatus()
{
    if (!m_statusSelection)
        return;
    QString selected;
    QString module;
    if (m_designer && m_designer->Root()) {
        const QList<QObject *> sel = m_designer->selection();
        if (sel.size() == 1)
            selected = QStringLiteral("%1: %2").arg(
                sel.first()->objectName(), QLatin1String(sel.first()->metaObject()->className()));
        else if (sel.size() > 1)
            selected = tr("%1 components selected").arg(sel.size());
        const int count = int(surfaceComponents(m_designer->Root()).size());
        const QString state = m_designer->isModified()           ? tr("modified")
                              : m_designer->fileName().isEmpty() ? tr("new")
                                                                 : tr("saved");
        module
            = (count == 1 ? tr("1 component, %1") : tr("%1 components, %2").arg(count)).arg(state);
    }
    m_statusSelection->setText(selected);
    m_statusModule->setText(module);
    // The labels are given their new widths now, not when the event loop
    // next lays the bar out: until then a label made for a shorter text
    // shows only its first letters, and a picture taken meanwhile keeps them.
    if (QLayout *bar = statusBar()->layout())
        bar->activate();
}

void TMainWindow::updateActions()
{
    updateStatus();
    const bool open = m_designer != nullptr;
    bool components = false;
    if (open)
        for (QObject *o : m_designer->selection())
            if (o != m_designer->Root())
                components = true;
    for (const char *name : {"actSave", "actSaveAs", "actPaste", "actSelectAll", "actCheckModule"})
        action(QLatin1String(name))->setEnabled(open);
    for (const char *name : {"actCut", "actCopy", "actDelete", "actRename"})
        action(QLatin1String(name))->setEnabled(components);
    QAction *saveTab = action(QStringLiteral("actSaveTab"));
    const int tab = m_codeEditor ? m_codeEditor->currentIndex() : -1;
    saveTab->setEnabled(tab >= 0);
    saveTab->setText(
        tab >= 0 ? tr("Save &Tab %1\tCtrl+S")
                       .arg(TCodeEditorPane::shortName(m_codeEditor->moduleAt(tab)->GetFileName()))
                 : tr("Save &Tab"));
    // The edit menu names the step each command takes back or again.
    QAction *undo = action(QStringLiteral("actUndo"));
    undo->setEnabled(m_history && m_history->canUndo());
    undo->setText(undo->isEnabled() ? tr("&Undo %1").arg(m_history->undoName()) : tr("&Undo"));
    QAction *redo = action(QStringLiteral("actRedo"));
    redo->setEnabled(m_history && m_history->canRedo());
    redo->setText(redo->isEnabled() ? tr("&Redo %1").arg(m_history->redoName()) : tr("&Redo"));
}

bool TMainWindow::commitPendingEdits()
{
    return !m_designer || (m_inspector->commitPendingEdit() && m_surface->commitPendingRename());
}

bool TMainWindow::confirmDiscard()
{
    if (!commitPendingEdits())
        return false;
    // Text modules first: saving one writes into the module.
    if (m_designer && !m_codeEditor->queryCloseModules())
        return false;
    if (!m_designer || !m_designer->isModified())
        return true;
    const QString name = m_designer->fileName().isEmpty()
                             ? m_designer->Root()->objectName()
                             : QFileInfo(m_designer->fileName()).fileName();
    switch (MessageDlg(tr("Save changes to %1?").arg(name), mtConfirmation, mbYesNoCancel)) {
    case mrYes:
        return save();
    case mrNo:
        return true;
    default:
        return false;
    }
}

bool TMainWindow::newModule()
{
    if (!confirmDiscard())
        return false;
    auto root = std::make_unique<TDataModule>();
    root->setObjectName(QStringLiteral("DataModule%1").arg(++m_untitled));
    setDesigner(std::make_shared<TFormDesigner>(std::move(root)));
    return true;
}

bool TMainWindow::openForm(const QString &FileName)
{
    return confirmDiscard() && readForm(FileName);
}

bool TMainWindow::readForm(const QString &FileName)
{
    const QString file = QFileInfo(FileName).absoluteFilePath();
    std::unique_ptr<QObject> root;
    QString text;
    TFormFileStamp stamp;
    QList<TFormWarning> warnings;
    if (!runGuarded([&] {
            // Only a regular file: a FIFO or a device would never end.
            text = ReadFormFileText(file, &stamp);
            // A form begins with its root object; anything else is no form,
            // which says more than the reader's first position would.
            static const QRegularExpression formStart(
                QStringLiteral(R"(^\x{FEFF}?\s*(object|inherited|inline)\s)"),
                QRegularExpression::CaseInsensitiveOption);
            // Bytes that are no UTF-8 are kept as lone surrogates, which a
            // regular expression does not take: the start alone is matched.
            QString start = text.left(256);
            for (QChar &c : start)
                if (c.isSurrogate())
                    c = QLatin1Char('?');
            if (!formStart.match(start).hasMatch())
                throw Exception(tr("%1 is not a form file: a form file begins with \"object\"")
                                    .arg(QDir::toNativeSeparators(file)));
            TFormReader reader(text, file);
            root = reader.Read();
            warnings = reader.Warnings();
        }))
        return false;
    // Database files named relative to the form are found beside it.
    QDir::setCurrent(QFileInfo(file).absolutePath());
    setDesigner(nullptr);
    runGuarded([&] { createMissingEmbeddedDatabases(root.get()); });
    // Connections and open datasets the form stores are held, not opened.
    auto designer = std::make_shared<TFormDesigner>(std::move(root), file);
    designer->setModified(false);
    designer->setFileStamp(stamp);
    setDesigner(designer);
    addRecent(file);
    // References into other modules are kept as written, and said so.
    if (!warnings.isEmpty())
        statusBar()->showMessage(
            warnings.first().Message
            + (warnings.size() > 1 ? tr(" (and %1 more)").arg(warnings.size() - 1) : QString()));
    return true;
}

bool TMainWindow::openWithDialog()
{
    if (!confirmDiscard())
        return false;
    TOpenDialog dialog;
    dialog.Title = tr("Open");
    dialog.Filter = QLatin1String(FormFilter);
    dialog.DefaultExt = QStringLiteral("dfm");
    if (m_designer && !m_designer->fileName().isEmpty())
        dialog.InitialDir = QFileInfo(m_designer->fileName()).absolutePath();
    if (!dialog.Execute())
        return false;
    return readForm(dialog.FileName);
}

bool TMainWindow::saveTab()
{
    const int tab = m_codeEditor->currentIndex();
    return tab >= 0 && m_codeEditor->saveTab(tab);
}

bool TMainWindow::savePendingTabs()
{
    const QStringList pending = m_codeEditor->modifiedTitles();
    if (pending.isEmpty())
        return true;
    switch (MessageDlg(
        tr("Save the changes in %1 into the module first?").arg(pending.join(QStringLiteral(", "))),
        mtConfirmation, mbYesNoCancel)) {
    case mrYes:
        return m_codeEditor->saveModifiedTabs();
    case mrNo:
        return true;
    default:
        return false;
    }
}

bool TMainWindow::writeTo(const QString &FileName)
{
    if (!m_designer)
        return false;
    const QString file = QFileInfo(FileName).absoluteFilePath();
    // Saving over the file the module came from: it must still be what was
    // read or last saved, else another program's change would be lost
    // without a word. Another file was chosen in the save dialog, which
    // asked before replacing it.
    const bool sameFile = file == m_designer->fileName();
    const TFormFileStamp expected = m_designer->fileStamp();
    TFormFileStamp written;
    bool changed = false;
    const bool ok = runGuarded([&] {
        try {
            written = SaveFormFile(m_designer->Root(), FileName, sameFile ? &expected : nullptr);
        } catch (const EFormFileChanged &) {
            changed = true;
        }
    });
    if (!ok)
        return false;
    if (changed) {
        switch (MessageDlg(tr("%1 was changed by another program since it was opened or last "
                              "saved.\n\nYes: overwrite it with this module (the other "
                              "program's change goes to the backup).\nNo: reload it from the "
                              "disk (the changes made here are lost).\nCancel: save nothing.")
                               .arg(QDir::toNativeSeparators(file)),
                           mtWarning, mbYesNoCancel)) {
        case mrYes:
            if (!runGuarded([&] { written = SaveFormFile(m_designer->Root(), FileName); }))
                return false;
            break;
        case mrNo:
            readForm(file);
            return false;
        default:
            return false;
        }
    }
    // Database files named relative to the form are found from its folder,
    // as opening it again would: Save As into another folder moves there.
    QDir::setCurrent(QFileInfo(file).absolutePath());
    m_designer->setFileName(file);
    m_designer->setFileStamp(written);
    m_designer->setModified(false);
    if (m_history)
        m_history->setClean();
    addRecent(FileName);
    statusBar()->showMessage(tr("Saved %1").arg(QDir::toNativeSeparators(FileName)), 4000);
    return true;
}

bool TMainWindow::save()
{
    if (!m_designer)
        return false;
    if (!commitPendingEdits())
        return false;
    if (m_designer->fileName().isEmpty())
        return saveAs();
    return savePendingTabs() && writeTo(m_designer->fileName());
}

bool TMainWindow::saveAs()
{
    if (!m_designer || !commitPendingEdits() || !savePendingTabs())
        return false;
    TSaveDialog dialog;
    dialog.Title = tr("Save As");
    dialog.Filter = QLatin1String(FormFilter);
    dialog.DefaultExt = QStringLiteral("dfm");
    dialog.FileName = m_designer->fileName().isEmpty()
                          ? m_designer->Root()->objectName() + QStringLiteral(".dfm")
                          : m_designer->fileName();
    if (!dialog.Execute())
        return false;
    const TStoredFilePaths rewritten = rebaseFilePaths(QFileInfo(dialog.FileName).absolutePath());
    if (!rewritten.Go)
        return false;
    if (writeTo(dialog.FileName))
        return true;
    // The module keeps naming its files from the folder it is used from.
    if (rewritten.Rewritten && m_history && m_history->canUndo())
        runGuarded([&] { m_history->undo(); });
    return false;
}

TMainWindow::TStoredFilePaths TMainWindow::rebaseFilePaths(const QString &NewFolder)
{
    // Relative names are found from the working folder (see writeTo).
    const QString oldFolder = QDir::currentPath();
    if (QFileInfo(NewFolder) == QFileInfo(oldFolder))
        return {true, false};
    const QList<TStoredFilePath> paths = storedFilePaths(m_designer->Root(), oldFolder, NewFolder);
    if (paths.isEmpty())
        return {true, false};
    QStringList lines;
    for (const TStoredFilePath &p : paths)
        lines << QStringLiteral("  %1.%2: %3  \u2192  %4")
                     .arg(p.Component->objectName(), p.Property, p.Stored,
                          QDir::toNativeSeparators(p.Rebased));
    switch (MessageDlg(tr("The module names files relative to its folder\n%1\nand is being "
                          "saved into\n%2\n\n%3\n\nYes: rewrite them to name the same files "
                          "from the new folder, as shown.\nNo: keep them as they are (the saved "
                          "form looks for them from its own folder).\nCancel: save nothing.")
                           .arg(QDir::toNativeSeparators(oldFolder),
                                QDir::toNativeSeparators(NewFolder), lines.join(QLatin1Char('\n'))),
                       mtConfirmation, mbYesNoCancel)) {
    case mrYes:
        break;
    case mrNo:
        return {true, false};
    default:
        return {false, false};
    }
    // One step of the history, and the module modified before it is written.
    QList<QObject *> components;
    for (const TStoredFilePath &p : paths)
        if (!components.contains(p.Component))
            components << p.Component;
    if (m_history)
        m_history->nameNextStep(tr("Rewrite File Paths"));
    m_designer->aboutToChange(components);
    for (const TStoredFilePath &p : paths)
        p.Component->setProperty(p.Property.toLatin1().constData(), p.Rebased);
    m_designer->Modified();
    return {true, true};
}

void TMainWindow::closeEvent(QCloseEvent *Event)
{
    if (!confirmDiscard()) {
        Event->ignore();
        return;
    }
    saveLayout();
    setDesigner(nullptr);
    Event->accept();
}

// --- Edit ---------------------------------------------------------------------------

void TMainWindow::copy()
{
    if (!m_designer)
        return;
    QList<QObject *> list;
    for (QObject *o : m_designer->selection())
        if (o != m_designer->Root())
            list.append(o);
    const QString text = componentsText(list);
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void TMainWindow::cut()
{
    copy();
    if (m_history && m_designer && m_designer->selection().size() == 1)
        m_history->nameNextStep(tr("Cut %1").arg(m_designer->selection().first()->objectName()));
    else if (m_history)
        m_history->nameNextStep(tr("Cut"));
    deleteSelection();
}

void TMainWindow::paste()
{
    if (!m_designer)
        return;
    const QString text = QApplication::clipboard()->text();
    if (m_history)
        m_history->nameNextStep(tr("Paste"));
    runGuarded([&] { pasteComponentsText(*m_designer, text, m_surface->placementArea()); });
}

void TMainWindow::deleteSelection()
{
    if (m_designer)
        runGuarded([&] { ::deleteSelection(*m_designer); });
}

void TMainWindow::selectAll()
{
    if (m_designer)
        m_designer->select(surfaceComponents(m_designer->Root()));
}

namespace {

// The wait cursor while an undo or redo gives back many components: a step
// of some hundreds takes longer (0.2 s) than a person waits without a sign.
class TBusyCursor
{
public:
    explicit TBusyCursor(int Components)
        : m_on(Components >= 200)
    {
        if (m_on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TBusyCursor()
    {
        if (m_on)
            QApplication::restoreOverrideCursor();
    }
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;

private:
    bool m_on;
};

} // namespace

void TMainWindow::undo()
{
    if (m_history && m_history->canUndo()) {
        const TBusyCursor busy(m_history->undoSize());
        runGuarded([&] { m_history->undo(); });
    }
}

void TMainWindow::redo()
{
    if (m_history && m_history->canRedo()) {
        const TBusyCursor busy(m_history->redoSize());
        runGuarded([&] { m_history->redo(); });
    }
}

// --- Packages -----------------------------------------------------------------------

bool TMainWindow::installPackage(const QString &FileName)
{
    const bool ok = runGuarded([&] { loadPackage(FileName); });
    if (ok)
        emit packagesChanged();
    return ok;
}

bool TMainWindow::showPackageAbout(const QString &Name)
{
    const TLoadedPackage *pkg = findPackage(Name);
    if (!pkg)
        return false;
    // A package shows its About dialog through the About verb its editors
    // give every one of its components; the verb's caption is its product
    // name and version as its module file states them.
    QString product, version;
    ReadFileVersInfo(pkg->FileName, product, version);
    const QString caption = product + QLatin1Char(' ') + version;
    TComponentClass cls = nullptr;
    for (const TRegistration &r : registrations().entries())
        if (r.Kind == TRegistrationKind::Components && r.Package == pkg->Name
            && !r.ComponentClasses.isEmpty()) {
            cls = r.ComponentClasses.first();
            break;
        }
    bool shown = false;
    if (cls && !product.isEmpty()) {
        runGuarded([&] {
            // A scratch component of the package's class, owned by a scratch
            // module that no designer edits.
            TDataModule scratch;
            QObject *c = cls->newInstance(Q_ARG(QObject *, &scratch));
            if (!c)
                return;
            std::unique_ptr<TComponentEditor> editor = GetComponentEditor(c, nullptr);
            for (int i = 0; i < editor->GetVerbCount(); ++i)
                if (editor->GetVerb(i) == caption) {
                    shown = true;
                    editor->ExecuteVerb(i);
                    break;
                }
        });
    }
    if (!shown)
        MessageDlg(
            tr("%1\n%2\nVersion %3")
                .arg(pkg->Name, pkg->Description, version.isEmpty() ? tr("unknown") : version),
            mtInformation, mbOK);
    return shown;
}

void TMainWindow::showInstalledPackages()
{
    TForm form(this);
    form.setObjectName(QStringLiteral("InstalledPackagesForm"));
    form.setWindowTitle(tr("Installed Packages"));
    auto *layout = new QVBoxLayout(&form);
    auto *table = new QTableWidget(&form);
    table->setObjectName(QStringLiteral("packageTable"));
    table->setColumnCount(4);
    table->setHorizontalHeaderLabels({tr("Package"), tr("Description"), tr("Version"), tr("File")});
    const QList<TLoadedPackage> packages = loadedPackages();
    table->setRowCount(int(packages.size()));
    for (int row = 0; row < packages.size(); ++row) {
        const TLoadedPackage &pkg = packages[row];
        QString product, version;
        ReadFileVersInfo(pkg.FileName, product, version);
        const QStringList cells{pkg.Name, pkg.Description, version,
                                QDir::toNativeSeparators(pkg.FileName)};
        for (int col = 0; col < cells.size(); ++col) {
            auto *item = new QTableWidgetItem(cells[col]);
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            table->setItem(row, col, item);
        }
    }
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeColumnsToContents();
    table->verticalHeader()->hide();
    layout->addWidget(table);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &form);
    form.bindModalResult(buttons->button(QDialogButtonBox::Ok), mrOk);
    layout->addWidget(buttons);
    form.resize(640, 220);
    form.ShowModal();
}
