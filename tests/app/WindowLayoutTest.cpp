// The main window's layout: inside the available screen whatever its size,
// the structure view and the Object Inspector given the height, and the
// window and pane sizes of the last run back at the next start.
#include "CodeEditorPane.h"
#include "DataPreviewPane.h"
#include "GuiFixture.h"
#include "MainWindow.h"
#include "PropertiesPane.h"
#include "StructurePane.h"

#include "rtl/IniFiles.h"
#include "rtl/UiServices.h"

#include <QDockWidget>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

namespace {

class WindowLayoutTest : public GuiTest
{
protected:
    QString store() const { return folder().file(QStringLiteral("ovdesigner.ini")); }
    static QDockWidget *dockOf(QWidget *Pane)
    {
        return qobject_cast<QDockWidget *>(Pane->parentWidget());
    }
};

} // namespace

TEST_F(WindowLayoutTest, FitsTheScreenAndComesBackAfterARestart)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    auto first = std::make_unique<TMainWindow>(nullptr, store());
    first->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first.get()));
    EXPECT_TRUE(screen.contains(first->frameGeometry()))
        << "a " << screen.width() << "x" << screen.height() << " screen holds the whole window";
    QWidget *structure = dockOf(first->structure());
    QWidget *inspector = dockOf(first->inspector());
    QWidget *preview = dockOf(first->dataPreview());
    EXPECT_GT(structure->height() + inspector->height(), 2 * preview->height())
        << "the tree and the inspector have the height, the empty preview a strip";
    EXPECT_GE(inspector->height(), structure->height());
    screenshot(first.get(), QStringLiteral("layout-default"));

    // A person makes the window smaller and the structure view taller.
    first->resize(screen.width() * 3 / 4, screen.height() * 3 / 4);
    first->resizeDocks({dockOf(first->structure())}, {300}, Qt::Vertical);
    QTest::qWait(0);
    const QSize size = first->size();
    const int structureHeight = structure->height();
    ASSERT_TRUE(first->close());
    first.reset();
    EXPECT_TRUE(TIniFile(store()).SectionExists(QStringLiteral("Layout")));

    TMainWindow second(nullptr, store());
    second.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    EXPECT_EQ(second.size(), size) << "the window as it was left";
    EXPECT_NEAR(dockOf(second.structure())->height(), structureHeight, 2) << "the panes too";
    EXPECT_FALSE(dockOf(second.codeEditor())->isVisible()) << "no empty code editor";

    // A layout kept on a larger screen is fitted into this one.
    second.resize(screen.width() * 2, screen.height() * 2);
    ASSERT_TRUE(second.close());
    TMainWindow third(nullptr, store());
    third.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&third));
    EXPECT_TRUE(screen.contains(third.frameGeometry()));
    screenshot(&third, QStringLiteral("layout-restored"));
}

// A file that is no form is refused as such, not with a parser's position.
TEST_F(WindowLayoutTest, AFileThatIsNoFormSaysSo)
{
    folder().write(QStringLiteral("notes.dfm"), "These are notes, not a form.\n");
    TMainWindow window(nullptr, store());
    ScriptedUi ui;
    ui.answer(mrOk);
    EXPECT_FALSE(window.openForm(folder().file(QStringLiteral("notes.dfm"))));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains(QLatin1String("is not a form file")))
        << ui.messages[0].text.toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(folder().file(QStringLiteral("notes.dfm"))));
}
