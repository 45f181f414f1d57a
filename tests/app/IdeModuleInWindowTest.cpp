// A data module an IDE wrote (tests/data/IdeOrdersModule.dfm) opened in the
// designer: its other libraries' components shown as not loaded, in the
// structure view and on the surface, and Save writing back the same bytes,
// also after a deletion undone.
#include "GuiFixture.h"
#include "MainWindow.h"
#include "ModuleSurface.h"
#include "StructureModel.h"
#include "StructurePane.h"

#include "designide/FormFile.h"

#include <QFile>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>

namespace {

QByteArray ideModule()
{
    QFile f(QStringLiteral(OV_TEST_DATA_DIR "/IdeOrdersModule.dfm"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList captions(const QAbstractItemModel *Model, const QModelIndex &Parent = {})
{
    QStringList out;
    for (int r = 0; r < Model->rowCount(Parent); ++r) {
        const QModelIndex index = Model->index(r, 0, Parent);
        out << index.data().toString() << captions(Model, index);
    }
    return out;
}

class IdeModuleInWindowTest : public WindowTest
{};

} // namespace

TEST_F(IdeModuleInWindowTest, NotLoadedComponentsAreShownAndSavedAsRead)
{
    const QByteArray bytes = ideModule();
    ASSERT_FALSE(bytes.isEmpty());
    const QString file = folder().file(QStringLiteral("IdeOrdersModule.dfm"));
    folder().write(QStringLiteral("IdeOrdersModule.dfm"), bytes);
    ASSERT_TRUE(window->openForm(file));
    EXPECT_TRUE(window->statusBar()->currentMessage().contains(
        QStringLiteral("dsCountries.DataSet refers to SharedData.qCountries")))
        << "the reference into another module is reported";

    const QStringList tree = captions(window->structure()->model());
    for (const char *caption :
         {"ImageList1 (not loaded: TImageList)", "ActionList1 (not loaded: TActionList)",
          "KestrelConnection1 (not loaded: TKestrelConnection)",
          "kqCustomers (not loaded: TKestrelQuery)"})
        EXPECT_TRUE(tree.contains(QLatin1String(caption))) << caption;
    QObject *images = component(QStringLiteral("ImageList1"));
    ASSERT_NE(qobject_cast<TNotLoadedComponent *>(images), nullptr);
    const QRect box = window->surface()->boxRect(images);
    EXPECT_TRUE(box.isValid()) << "on the surface, where the IDE placed it";
    const QImage picture = screenshot(window.get(), QStringLiteral("ide-module-not-loaded"));
    EXPECT_GT(colourCount(picture), 8);

    // Saved unchanged: the same bytes.
    window->designer()->Modified();
    ASSERT_TRUE(window->save());
    EXPECT_EQ(folder().read(QStringLiteral("IdeOrdersModule.dfm")), bytes);

    // Deleted and the deletion undone: back whole, saved as it was read.
    window->designer()->select({images});
    window->deleteSelection();
    EXPECT_EQ(component(QStringLiteral("ImageList1")), nullptr);
    window->undo();
    ASSERT_NE(component(QStringLiteral("ImageList1")), nullptr);
    ASSERT_TRUE(window->save());
    EXPECT_EQ(folder().read(QStringLiteral("IdeOrdersModule.dfm")), bytes);

    // Deleted for good: its lines go, nothing else.
    window->designer()->select({component(QStringLiteral("ImageList1"))});
    window->deleteSelection();
    ASSERT_TRUE(window->save());
    const QByteArray start = "  object ImageList1: TImageList\r\n";
    const qsizetype at = bytes.indexOf(start);
    const qsizetype end = bytes.indexOf("  end\r\n", at) + 7;
    EXPECT_EQ(folder().read(QStringLiteral("IdeOrdersModule.dfm")),
              bytes.left(at) + bytes.mid(end));
}
