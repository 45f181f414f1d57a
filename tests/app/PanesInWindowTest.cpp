// The palette, structure view and code editor as the main window wires them:
// a glyph chosen on the palette is what the surface's next click places, the
// new component shows selected in the structure view, and the text modules
// of the open module are asked about before the module itself.
#include "CodeEditorPane.h"
#include "MainWindow.h"
#include "ModuleSurface.h"
#include "PalettePane.h"
#include "PaneTestSupport.h"
#include "StructurePane.h"

#include "designide/ComponentEditors.h"
#include "designide/Registrations.h"
#include "designide/Sprigs.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDlgsForms.h"

#include "rtl/Forms.h"
#include "rtl/UiServices.h"

#include <QDockWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

class PanesInWindowTest : public PaneFixture
{
protected:
    void SetUp() override
    {
        PaneFixture::SetUp();
        QFile::copy(QStringLiteral(OV_EXAMPLES_DIR "/demo.dfm"), tmp.file("demo.dfm"));
        QFile::copy(QStringLiteral(OV_EXAMPLES_DIR "/demo.sql"), tmp.file("demo.sql"));
        window = std::make_unique<TMainWindow>(nullptr, tmp.file("recent.ini"));
        window->resize(1100, 720);
        window->show();
        ASSERT_TRUE(window->openForm(tmp.file("demo.dfm")));
        palette = window->findChild<TPalettePane *>();
        structure = window->findChild<TStructurePane *>();
        code = window->findChild<TCodeEditorPane *>();
        ASSERT_TRUE(palette && structure && code);
    }
    void TearDown() override
    {
        if (window && window->designer())
            window->designer()->setModified(false);
        window.reset();
        PaneFixture::TearDown();
    }

    ScriptedUi ui;
    std::unique_ptr<TMainWindow> window;
    TPalettePane *palette = nullptr;
    TStructurePane *structure = nullptr;
    TCodeEditorPane *code = nullptr;
};

TEST_F(PanesInWindowTest, PaletteSurfaceAndStructureTogether)
{
    for (const char *dock : {"palettePaneDock", "structurePaneDock", "codeEditorPaneDock"})
        ASSERT_NE(window->findChild<QDockWidget *>(dock), nullptr) << dock;
    EXPECT_TRUE(window->findChild<QDockWidget *>("palettePaneDock")->isVisible());
    EXPECT_TRUE(window->findChild<QDockWidget *>("structurePaneDock")->isVisible());
    EXPECT_FALSE(window->findChild<QDockWidget *>("codeEditorPaneDock")->isVisible())
        << "hidden until a module is shown";

    QTest::mouseClick(palette->buttonOf(&TOvQuery::staticMetaObject), Qt::LeftButton);
    EXPECT_EQ(window->surface()->pendingClass(), &TOvQuery::staticMetaObject);
    QTest::mouseClick(window->surface()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(600, 500));
    auto *added = window->designer()->Root()->findChild<TOvQuery *>("OvQuery1");
    ASSERT_TRUE(added) << "placed by the click";
    EXPECT_EQ(palette->chosenClass(), nullptr) << "the palette's choice is used up";
    EXPECT_EQ(window->surface()->pendingClass(), nullptr);

    TSprig *node = structure->model()->sprigOfItem(added);
    ASSERT_TRUE(node) << "the structure view shows it";
    EXPECT_EQ(structure->view()->selectionModel()->selectedRows(),
              QModelIndexList{structure->model()->indexOf(node)})
        << "selected there as on the surface";
    EXPECT_TRUE(node->AnyProblems()) << "a query without SQL is flagged";
    screenshot(window.get(), "mainwindow_panes");
}

TEST_F(PanesInWindowTest, TextModulesAreAskedAboutFirst)
{
    auto *orders = window->designer()->Root()->findChild<TOvQuery *>("qOrders");
    const auto editor = registrations()
                            .componentEditorFor(orders->metaObject())
                            .Create(orders, window->designer());
    int verb = -1;
    for (int i = 0; i < editor->GetVerbCount(); ++i)
        if (editor->GetVerb(i) == SEditSQLVerb())
            verb = i;
    ASSERT_GE(verb, 0);
    ui.onModal([](TForm &F) { qobject_cast<TOvSQLEditDlg *>(&F)->btCodeEditorClick(); });
    editor->ExecuteVerb(verb);
    EXPECT_TRUE(window->findChild<QDockWidget *>("codeEditorPaneDock")->isVisible())
        << "the code editor came to front";
    ASSERT_EQ(code->tabCount(), 1);
    code->editorAt(0)->selectAll();
    code->editorAt(0)->insertPlainText("select OrderNo from Orders");
    screenshot(window.get(), "mainwindow_code_editor");

    // The text module first (Yes: into the query), then the module (No).
    ui.answer(mrYes).answer(mrNo);
    EXPECT_TRUE(window->confirmDiscard());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(ui.messages[0].text.contains("qOrders.SQL"));
    EXPECT_TRUE(ui.messages[1].text.contains("demo.dfm"));
    EXPECT_EQ(orders->SQL()->Text(), "select OrderNo from Orders\n");
    EXPECT_EQ(code->tabCount(), 0);
}
