// A day in the designer as a new user meets it: the first start keeps its
// settings, Check Module uses the login of the session, the keyboard reaches
// every pane and editor, a dark theme and a small or scaled screen show
// everything, and the small things read right.
#include "CodeEditorPane.h"
#include "DataPreviewPane.h"
#include "DataSetTableModel.h"
#include "GuiFixture.h"
#include "MainWindow.h"
#include "ModuleEditing.h"
#include "ModuleSurface.h"
#include "PalettePane.h"
#include "PgTestServer.h"
#include "ProblemsPane.h"
#include "PropertiesPane.h"
#include "SqlHighlighter.h"
#include "StructurePane.h"

#include "designide/ComponentEditors.h"
#include "designide/Registrations.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDlgsForms.h"
#include "orvlib/OvDriver.h"
#include "rtl/Forms.h"
#include "rtl/UiServices.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeView>

#include <cstdlib>
#include <tuple>

#include <sys/stat.h>

namespace {

class DesignerDayTest : public WindowTest
{
protected:
    QDockWidget *dockOf(QWidget *Pane) const
    {
        return qobject_cast<QDockWidget *>(Pane->parentWidget());
    }
    QString label(const char *Name) const
    {
        return window->findChild<QLabel *>(QLatin1String(Name))->text();
    }
    // Opens a form of Text written into the test's folder as Name.
    bool openText(const QString &Name, const QString &Text)
    {
        folder().write(Name, Text.toUtf8());
        return window->openForm(folder().file(Name));
    }
    // What a component takes on the surface: its box and its name below.
    QRect taken(QObject *Component) const
    {
        const QRect box = window->surface()->boxRect(Component);
        const int line = window->surface()->fontMetrics().height();
        return box.united(QRect(box.center().x() - 40, box.bottom(), 80, line + 2));
    }
    ScriptedUi ui;
};

int lightness(QRgb Pixel)
{
    return QColor(Pixel).lightness();
}

// How many pixels of Area in Image are at least Lightness light.
int lightPixels(const QImage &Image, const QRect &Area, int Lightness)
{
    int n = 0;
    for (int y = Area.top(); y <= Area.bottom(); ++y)
        for (int x = Area.left(); x <= Area.right(); ++x)
            n += Image.rect().contains(x, y) && lightness(Image.pixel(x, y)) >= Lightness;
    return n;
}

} // namespace

// A first start finds no settings folder: the first write makes it (owner
// only), the recent files and the layout are kept for the next start. A
// folder that cannot be made is said so in the status bar.
TEST_F(DesignerDayTest, TheFirstStartMakesTheSettingsFolder)
{
    const QString fresh = folder().file(QStringLiteral("home/.config"));
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", fresh.toUtf8());
    {
        TMainWindow first; // the user's own settings file
        first.show();
        ASSERT_TRUE(first.openForm(demoForm()));
        EXPECT_FALSE(first.statusBar()->currentMessage().contains(QLatin1String("not kept")))
            << first.statusBar()->currentMessage().toStdString();
        ASSERT_TRUE(first.close());
    }
    const QString store = fresh + QStringLiteral("/orvanta/ovdesigner.ini");
    EXPECT_TRUE(QFile::exists(store));
    struct stat st
    {};
    ASSERT_EQ(::stat(QFile::encodeName(fresh + QStringLiteral("/orvanta")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "a settings folder is its owner's";
    {
        TMainWindow second;
        EXPECT_EQ(second.recentFiles(), QStringList{demoForm()});
    }
    qputenv("XDG_CONFIG_HOME", oldConfig);

    // A file where the folder should be: the reason, and the module opens.
    folder().write(QStringLiteral("blocked"), "a file, not a folder");
    TMainWindow blocked(nullptr, folder().file(QStringLiteral("blocked/orvanta/ovdesigner.ini")));
    ASSERT_TRUE(blocked.openForm(demoForm()));
    EXPECT_TRUE(
        blocked.statusBar()->currentMessage().startsWith(QStringLiteral("Recent files not kept: ")))
        << blocked.statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(blocked.statusBar()->currentMessage().contains(QLatin1String("not a folder")));
    blocked.designer()->setModified(false);
}

// Logged in to a password-protected database in this session, Check Module
// uses that login; a database nobody logged in to asks once, through the
// login seam, and keeps the answer; a cancelled login is no error box.
TEST_F(DesignerDayTest, CheckModuleUsesTheLoginOfTheSession)
{
    OV_REQUIRE_PG(pgMissing());
    const QStringList login = qEnvironmentVariable("OV_PG_PASSWORD_LOGIN").split(u' ');
    OV_REQUIRE_PG(login.size() == 2 ? QString() : QStringLiteral("OV_PG_PASSWORD_LOGIN not set"));
    const QString name = pgUniqueName(QStringLiteral("PwDb"));
    const QString form = QStringLiteral("object PwModule: TDataModule\n"
                                        "  object Db: TOvDatabase\n"
                                        "    DatabaseName = '%1'\n"
                                        "    RemoteDatabase = '%2 user=%3'\n"
                                        "    ServerType = stPostgreSQL\n"
                                        "  end\n"
                                        "  object qOne: TOvQuery\n"
                                        "    DatabaseName = '%1'\n"
                                        "    SQL.Strings = (\n"
                                        "      'select 1 as one')\n"
                                        "  end\n"
                                        "end\n")
                             .arg(name, pgConnInfo(), login[0]);
    int asked = 0;
    bool give = true;
    SetLoginDialogHook([&](TOvDatabase *, TStrings *Params) {
        ++asked;
        Params->SetValues(QStringLiteral("USER NAME"), login[0]);
        Params->SetValues(QStringLiteral("PASSWORD"), login[1]);
        return give;
    });
    struct Unhook
    {
        ~Unhook() { SetLoginDialogHook(nullptr); }
    } unhook;
    TProblemsPane *problems = window->problems();
    const auto check = [&] {
        QTest::keyClick(window.get(), Qt::Key_F9, Qt::ControlModifier);
        problems->finish();
        return problems->status();
    };

    // Logged in by previewing the rows: the check asks nothing more.
    ASSERT_TRUE(openText(QStringLiteral("pw.dfm"), form));
    auto *query = qobject_cast<TOvQuery *>(component(QStringLiteral("qOne")));
    window->designer()->select({query});
    ASSERT_TRUE(window->inspector()->commitValue(
        window->inspector()->itemModel().indexOf(QStringLiteral("Active")),
        QStringLiteral("True")));
    ASSERT_TRUE(query->Active());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(check(), QStringLiteral("0 errors, 0 warnings, 0 info; 1 of 1 dataset checked"));
    EXPECT_EQ(asked, 1) << "the session's login, not a second question";
    query->Close();
    qobject_cast<TOvDatabase *>(component(QStringLiteral("Db")))->Close();
    window->designer()->setModified(false);

    // Nobody logged in: Cancel leaves it unchecked, saying why.
    ASSERT_TRUE(openText(QStringLiteral("pw2.dfm"), QString(form).replace(name, name + u'2')));
    give = false;
    EXPECT_EQ(check(), QStringLiteral("1 error, 0 warnings, 1 info; 0 of 1 dataset checked"));
    EXPECT_EQ(asked, 2) << "asked once";
    // A password given is used and kept for the next check.
    give = true;
    EXPECT_EQ(check(), QStringLiteral("0 errors, 0 warnings, 0 info; 1 of 1 dataset checked"));
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(check(), QStringLiteral("0 errors, 0 warnings, 0 info; 1 of 1 dataset checked"));
    EXPECT_EQ(asked, 3) << "the answer is kept for the session";
    EXPECT_FALSE(qobject_cast<TOvDatabase *>(component(QStringLiteral("Db")))->Connected())
        << "the check connects no component";

    // Connecting with the login cancelled: no error box; a refused one has it.
    auto *db = qobject_cast<TOvDatabase *>(component(QStringLiteral("Db")));
    window->designer()->select({db});
    const QModelIndex connected
        = window->inspector()->itemModel().indexOf(QStringLiteral("Connected"));
    give = false;
    EXPECT_FALSE(window->inspector()->commitValue(connected, QStringLiteral("True")));
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text.toStdString();
    SetLoginDialogHook([&](TOvDatabase *, TStrings *Params) {
        Params->SetValues(QStringLiteral("PASSWORD"), QStringLiteral("wrong"));
        return true;
    });
    ui.answer(mrOk);
    EXPECT_FALSE(window->inspector()->commitValue(connected, QStringLiteral("True")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_FALSE(db->Connected());
}

// F11, Shift+F11, F12 and Ctrl+Alt+P go to the Object Inspector, the
// structure, the surface and the palette, as the View menu lists them.
// Enter, F4 or Alt+Down on an inspector row opens its drop-down or its
// dialog; Enter or a double click on a palette glyph places its component.
TEST_F(DesignerDayTest, TheKeyboardReachesEveryPaneAndEditor)
{
    ASSERT_TRUE(openDemo());
    QMenu *view = nullptr;
    for (QMenu *m : window->findChildren<QMenu *>())
        if (m->title() == QLatin1String("&View"))
            view = m;
    ASSERT_TRUE(view);
    const std::pair<const char *, QWidget *> panes[]
        = {{"actFocusInspector", window->inspector()->view()},
           {"actFocusStructure", window->structure()->view()},
           {"actFocusSurface", window->surface()}};
    for (const auto &[name, target] : panes) {
        QAction *go = window->action(QLatin1String(name));
        ASSERT_TRUE(go) << name;
        EXPECT_TRUE(view->actions().contains(go)) << name << ": listed in the View menu";
        ASSERT_FALSE(go->shortcut().isEmpty()) << name;
        QTest::keySequence(window.get(), go->shortcut());
        EXPECT_EQ(QApplication::focusWidget(), target) << name;
    }
    QTest::keySequence(window.get(), window->action(QStringLiteral("actFocusPalette"))->shortcut());
    auto *glyph = qobject_cast<QToolButton *>(QApplication::focusWidget());
    ASSERT_TRUE(glyph && window->palette()->isAncestorOf(glyph)) << "a glyph has the keyboard";

    // Enter on the glyph places one component in view, on no other.
    const int before = int(surfaceComponents(window->designer()->Root()).size());
    QTest::keyClick(glyph, Qt::Key_Return);
    const QList<QObject *> after = surfaceComponents(window->designer()->Root());
    ASSERT_EQ(after.size(), before + 1);
    QObject *placed = after.last();
    EXPECT_EQ(window->designer()->selection(), QList<QObject *>{placed});
    EXPECT_TRUE(window->surface()->viewport()->rect().contains(taken(placed)));
    for (QObject *other : after) {
        if (other == placed)
            continue;
        EXPECT_FALSE(taken(other).intersects(taken(placed))) << other->objectName().toStdString();
    }
    // A double click places another.
    QTest::mouseDClick(glyph, Qt::LeftButton);
    EXPECT_EQ(surfaceComponents(window->designer()->Root()).size(), before + 2);
    EXPECT_EQ(window->palette()->chosenClass(), nullptr) << "nothing left to place by a click";

    // The inspector: Enter on a row with a list opens the drop-down.
    window->designer()->select({component(QStringLiteral("qOrders"))});
    QTreeView *grid = window->inspector()->view();
    const QModelIndex database
        = window->inspector()->itemModel().indexOf(QStringLiteral("DatabaseName"));
    grid->setCurrentIndex(database.siblingAtColumn(TInspectorItemModel::PropertyColumn));
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Return);
    QWidget *editor = grid->indexWidget(database);
    ASSERT_TRUE(editor) << "Enter opened the value's editor";
    auto *combo = editor->findChild<QComboBox *>();
    ASSERT_TRUE(combo);
    EXPECT_TRUE(combo->view()->isVisible()) << "with its list open";
    EXPECT_TRUE(combo->findText(QStringLiteral("Demo")) >= 0);
    combo->hidePopup();

    // F4 and Alt+Down on a row with a dialog open it; Enter too.
    const QModelIndex sql = window->inspector()->itemModel().indexOf(QStringLiteral("SQL"));
    int dialogs = 0;
    for (const auto &[key, modifiers] :
         {std::pair{Qt::Key_F4, Qt::NoModifier}, std::pair{Qt::Key_Down, Qt::AltModifier},
          std::pair{Qt::Key_Return, Qt::NoModifier}}) {
        ui.onModal([&](TForm &F) {
            ++dialogs;
            F.SetModalResult(mrCancel);
        });
        grid->setCurrentIndex(sql.siblingAtColumn(TInspectorItemModel::PropertyColumn));
        grid->setFocus();
        QTest::keyClick(grid, key, modifiers);
    }
    EXPECT_EQ(dialogs, 3) << "each key opened the SQL dialog";
    EXPECT_EQ(ui.pendingSteps(), 0u);
    screenshot(window.get(), QStringLiteral("keyboard-inspector"));
}

// A dark theme: the surface, the names on it, an unchecked box in the
// inspector and the SQL keywords take the palette's colours and show.
TEST_F(DesignerDayTest, ADarkThemeShowsEverything)
{
    window.reset();
    const QPalette light = QApplication::palette();
    QPalette dark(QColor(53, 53, 53), QColor(45, 45, 45));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        dark.setColor(role, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    struct Restore
    {
        QPalette palette;
        ~Restore() { QApplication::setPalette(palette); }
    } restore{light};
    WindowTest::SetUp();
    ASSERT_TRUE(openDemo());
    window->designer()->select({component(QStringLiteral("Demo"))});
    QCoreApplication::processEvents();

    // The name of an unselected component is light on the dark surface.
    QObject *orders = component(QStringLiteral("qOrders"));
    const QImage surface
        = screenshot(window->surface()->viewport(), QStringLiteral("dark-surface"));
    const QRect box = window->surface()->boxRect(orders);
    EXPECT_LT(lightness(surface.pixel(box.right() + 20, box.top())), 80) << "a dark surface";
    const QRect name(box.left() - 10, box.bottom() + 2, box.width() + 20,
                     window->surface()->fontMetrics().height());
    EXPECT_GT(lightPixels(surface, name, 150), 10) << "qOrders can be read";

    // Demo's LoginPrompt is False: its box is outlined in the text's colour.
    QTreeView *grid = window->inspector()->view();
    const QModelIndex prompt
        = window->inspector()->itemModel().indexOf(QStringLiteral("LoginPrompt"));
    ASSERT_TRUE(prompt.isValid());
    grid->scrollTo(prompt);
    QCoreApplication::processEvents();
    const QImage rows = screenshot(grid->viewport(), QStringLiteral("dark-inspector"));
    const QRect cell = grid->visualRect(prompt);
    EXPECT_GT(lightPixels(rows, QRect(cell.left(), cell.top(), cell.height(), cell.height()), 150),
              8)
        << "the unchecked box shows";

    // Keywords read on the dark base, and still on a light one.
    QTextDocument text;
    for (const QPalette &palette : {dark, light}) {
        const TSqlHighlighter colours(&text, palette);
        const int base = palette.color(QPalette::Base).lightness();
        for (TSqlHighlighter::Kind kind : {TSqlHighlighter::Keyword, TSqlHighlighter::String,
                                           TSqlHighlighter::Comment, TSqlHighlighter::Number})
            EXPECT_GT(std::abs(colours.colourOf(kind).lightness() - base), 70)
                << "kind " << kind << " on a base of lightness " << base;
    }
    screenshot(window.get(), QStringLiteral("dark-window"));
}

// A 70-character name is elided in the inspector's caption: the left
// column keeps its width. A code-editor tab takes no more than its share
// of the height: the inspector keeps rows to work with.
TEST_F(DesignerDayTest, ALongNameAndACodeTabLeaveTheInspectorItsRoom)
{
    ASSERT_TRUE(openDemo());
    QWidget *left = dockOf(window->inspector());
    const int width = left->width();
    QObject *orders = component(QStringLiteral("qOrders"));
    ASSERT_NO_THROW(renameComponent(*window->designer(), orders, QString(70, u'q')));
    window->designer()->select({orders});
    QCoreApplication::processEvents();
    EXPECT_LE(left->width(), width + 4) << "the left column is not widened by the name";
    window->designer()->select({window->designer()->Root()});
    QCoreApplication::processEvents();
    EXPECT_EQ(left->width(), width);

    const auto editor = registrations()
                            .componentEditorFor(orders->metaObject())
                            .Create(orders, window->designer());
    for (int i = 0; i < editor->GetVerbCount(); ++i)
        if (editor->GetVerb(i) == SEditSQLVerb()) {
            ui.onModal([](TForm &F) { qobject_cast<TOvSQLEditDlg *>(&F)->btCodeEditorClick(); });
            editor->ExecuteVerb(i);
        }
    ASSERT_EQ(window->codeEditor()->tabCount(), 1);
    QCoreApplication::processEvents();
    QTreeView *grid = window->inspector()->view();
    const int rowHeight = grid->sizeHintForRow(0);
    EXPECT_GE(grid->viewport()->height(), 8 * rowHeight)
        << "the inspector shows eight rows or more, not four";
    screenshot(window.get(), QStringLiteral("code-tab-inspector"));
}

// Three pastes land off every component and its name; the counts say "1
// component"; the preview says all rows are read once the last one is.
TEST_F(DesignerDayTest, SmallThingsReadRight)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    d->select({component(QStringLiteral("qOrders"))});
    window->copy();
    for (int i = 0; i < 3; ++i) {
        window->paste();
        ASSERT_EQ(d->selection().size(), 1);
        QObject *copy = d->selection().first();
        for (QObject *other : surfaceComponents(d->Root())) {
            if (other == copy)
                continue;
            EXPECT_FALSE(taken(other).intersects(taken(copy)))
                << i << ": " << copy->objectName().toStdString() << " on "
                << other->objectName().toStdString();
        }
    }
    screenshot(window.get(), QStringLiteral("three-pastes"));

    ScriptedUi::MessageStep no = [](const MessageRequest &) {
        return mrNo;
    };
    ui.onMessage(no);
    ASSERT_TRUE(window->newModule());
    EXPECT_EQ(label("statusModule"), QStringLiteral("0 components, new"));
    addComponent(*window->designer(), &TDataSource::staticMetaObject, QPoint(40, 16));
    EXPECT_EQ(label("statusModule"), QStringLiteral("1 component, modified"));
    addComponent(*window->designer(), &TDataSource::staticMetaObject, QPoint(140, 16));
    EXPECT_EQ(label("statusModule"), QStringLiteral("2 components, modified"));
    window->designer()->setModified(false);

    // The demo's customers, read a few at a time: after the last batch the
    // preview no longer asks to scroll for more.
    ASSERT_TRUE(openDemo());
    auto *customers = qobject_cast<TOvTable *>(component(QStringLiteral("tCustomer")));
    ASSERT_TRUE(customers);
    TDataPreviewPane *preview = window->dataPreview();
    window->designer()->select({customers});
    preview->model()->setBatchSize(1);
    customers->SetFetchBatchSize(1);
    customers->Open();
    QCoreApplication::processEvents();
    ASSERT_FALSE(customers->AllFetched());
    EXPECT_TRUE(preview->statusText().contains(QLatin1String("scroll down to read more")));
    while (preview->model()->canFetchMore())
        preview->model()->fetchMore();
    EXPECT_TRUE(customers->AllFetched());
    EXPECT_EQ(preview->statusText(), QStringLiteral("tCustomer: %1 row(s), %2 field(s).")
                                         .arg(preview->model()->rowCount())
                                         .arg(preview->model()->columnCount()));
    customers->Close();
    window->designer()->setModified(false);

    // The README's picture: the demo checked, qOrders selected.
    window->designer()->select({component(QStringLiteral("qOrders"))});
    window->checkModule();
    window->problems()->finish();
    EXPECT_TRUE(window->problems()->isVisible());
    EXPECT_EQ(label("statusSelection"), QStringLiteral("qOrders: TOvQuery"));
    EXPECT_EQ(window->inspector()->nameEdit()->text(), QStringLiteral("qOrders"));
    screenshot(window.get(), QStringLiteral("readme-mainwindow"));
}

// On a 1920 x 1080 screen at QT_SCALE_FACTOR=2, and on a 1366 x 768 one,
// the window fits with its status bar; run in a process of its own, since
// the screen is set when the application starts.
class DesignerOnScreens : public GuiTest
{};

TEST_F(DesignerOnScreens, TheWindowFitsAScaledAndASmallScreen)
{
    const QByteArray child = qgetenv("OV_SCREEN_CHILD");
    if (!child.isEmpty()) {
        TempFolder dir;
        TMainWindow window(nullptr, dir.file(QStringLiteral("ovdesigner.ini")));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const QRect screen = window.screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(window.frameGeometry()))
            << child.constData() << ": the window " << window.frameGeometry().width() << "x"
            << window.frameGeometry().height() << " on a screen of " << screen.width() << "x"
            << screen.height();
        const QRect bar(window.statusBar()->mapTo(&window, QPoint()), window.statusBar()->size());
        EXPECT_TRUE(window.rect().contains(bar)) << child.constData() << ": the status bar shows";
        screenshot(&window, QStringLiteral("screen-") + QString::fromLatin1(child));
        return;
    }
    TempFolder dir;
    for (const auto &[name, width, height, scale] :
         {std::tuple{"scaled", 1920, 1080, "2"}, std::tuple{"small", 1366, 768, "1"}}) {
        const QString config = dir.file(QStringLiteral("%1.json").arg(QLatin1String(name)));
        dir.write(QStringLiteral("%1.json").arg(QLatin1String(name)),
                  QStringLiteral("{\"screens\": [{\"name\": \"s\", \"x\": 0, \"y\": 0, \"width\": "
                                 "%1, \"height\": %2, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, "
                                 "\"dpr\": 1}]}")
                      .arg(width)
                      .arg(height)
                      .toUtf8());
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OV_SCREEN_CHILD"), QLatin1String(name));
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QLatin1String(scale));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"),
                   QStringLiteral("offscreen:configfile=") + config);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--gtest_filter=DesignerOnScreens.*")});
        ASSERT_TRUE(run.waitForFinished(120000)) << name;
        const QString out = QString::fromLocal8Bit(run.readAll());
        EXPECT_EQ(run.exitCode(), 0) << name << ":\n" << out.toStdString();
        EXPECT_TRUE(out.contains(QLatin1String("[  PASSED  ] 1 test"))) << out.toStdString();
    }
}
