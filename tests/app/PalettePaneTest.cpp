// The component palette: its pages as the registrations give them, the
// choice a click makes, and the pages following packages in and out.
#include "PalettePane.h"
#include "ModuleSurface.h"
#include "PaneTestSupport.h"

#include "designide/Registrations.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {

QStringList namesOf(const QList<TComponentClass> &Classes)
{
    QStringList names;
    for (TComponentClass c : Classes)
        names << QString::fromLatin1(c->className());
    return names;
}

const QStringList OrvantaClasses
    = {"TOvSession", "TOvDatabase",  "TOvQuery",  "TOvMacroQuery", "TOvStoredProc",
       "TOvTable",   "TOvUpdateSQL", "TOvScript", "TOvMonitor",    "TOvSQLBaseServer"};

} // namespace

class PalettePaneTest : public PaneFixture
{};

// The package's page first with its ten glyphs in registration order, then
// the environment's page; every glyph a picture with its class as tooltip.
TEST_F(PalettePaneTest, PagesGlyphsAndTooltips)
{
    TPalettePane palette;
    palette.resize(420, 60);
    EXPECT_EQ(palette.pages(), (QStringList{"Orvanta", TPalettePane::environmentPage()}));
    EXPECT_EQ(namesOf(palette.classesOf("Orvanta")), OrvantaClasses) << "registration order";
    EXPECT_EQ(namesOf(palette.classesOf(TPalettePane::environmentPage())),
              QStringList{"TDataSource"});

    for (TComponentClass c : palette.classesOf("Orvanta")) {
        const QString name = QString::fromLatin1(c->className());
        SCOPED_TRACE(name.toStdString());
        QToolButton *button = palette.buttonOf(c);
        ASSERT_TRUE(button);
        EXPECT_EQ(button->toolTip(), name);
        const QImage glyph = componentGlyph(c).toImage();
        ASSERT_EQ(glyph.size(), QSize(24, 24)) << "the package's own 24 x 24 glyph";
        EXPECT_EQ(glyph.pixelColor(0, 23).alpha(), 0) << "its background shows the palette's";
        // The package's picture, not a stand-in: sixteen-colour pixels only.
        int drawn = 0, foreign = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) {
                const QColor px = glyph.pixelColor(x, y);
                if (px.alpha() == 0)
                    continue;
                ++drawn;
                for (int v : {px.red(), px.green(), px.blue()})
                    foreign += v != 0 && v != 128 && v != 192 && v != 255;
            }
        EXPECT_GT(drawn, 24) << "more than the background";
        EXPECT_EQ(foreign, 0) << "colours of the glyph's own palette";
    }
    // A class without a glyph resource still gets a picture.
    const QImage drawn = componentGlyph(&TDataSource::staticMetaObject).toImage();
    EXPECT_EQ(drawn.size(), QSize(24, 24));
    EXPECT_NE(drawn.pixelColor(12, 12).alpha(), 0);

    palette.show();
    screenshot(&palette, "palette");
}

// A click chooses a class until the surface clears the choice, the pointer
// is pressed or the same glyph is clicked again; one class is chosen at a
// time, across pages.
TEST_F(PalettePaneTest, ChoosingAClass)
{
    TPalettePane palette;
    palette.show();
    QSignalSpy chosen(&palette, &TPalettePane::componentClassChosen);
    QSignalSpy cleared(&palette, &TPalettePane::choiceCleared);
    QToolButton *query = palette.buttonOf(&TOvQuery::staticMetaObject);
    QToolButton *table = palette.buttonOf(&TOvTable::staticMetaObject);
    ASSERT_TRUE(query && table);

    QTest::mouseClick(query, Qt::LeftButton);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).value<TComponentClass>(), &TOvQuery::staticMetaObject);
    EXPECT_EQ(palette.chosenClass(), &TOvQuery::staticMetaObject);
    EXPECT_TRUE(query->isChecked());

    QTest::mouseClick(table, Qt::LeftButton);
    EXPECT_EQ(palette.chosenClass(), &TOvTable::staticMetaObject);
    EXPECT_FALSE(query->isChecked()) << "one choice at a time";
    EXPECT_TRUE(table->isChecked());

    QTest::mouseClick(table, Qt::LeftButton);
    EXPECT_EQ(palette.chosenClass(), nullptr) << "a second click takes the choice back";
    EXPECT_EQ(cleared.count(), 1);
    EXPECT_FALSE(table->isChecked());

    EXPECT_TRUE(palette.chooseClass(&TDataSource::staticMetaObject)) << "the environment's page";
    EXPECT_TRUE(palette.buttonOf(&TDataSource::staticMetaObject)->isChecked());
    palette.clearChoice();
    EXPECT_EQ(palette.chosenClass(), nullptr);
    EXPECT_EQ(cleared.count(), 2);
    palette.clearChoice();
    EXPECT_EQ(cleared.count(), 2) << "nothing to clear, nothing announced";

    EXPECT_FALSE(palette.chooseClass(&TDataModule::staticMetaObject)) << "not on the palette";
    EXPECT_EQ(palette.chosenClass(), nullptr);
}

// Unloading the package takes its page (and a choice on it) away while the
// module is still there; loading it again brings the page back.
TEST_F(PalettePaneTest, FollowsPackagesInAndOut)
{
    TPalettePane palette;
    QSignalSpy cleared(&palette, &TPalettePane::choiceCleared);
    ASSERT_TRUE(palette.chooseClass(&TOvDatabase::staticMetaObject));

    ASSERT_TRUE(unloadPackage(package));
    EXPECT_EQ(palette.pages(), QStringList{TPalettePane::environmentPage()});
    EXPECT_EQ(palette.chosenClass(), nullptr);
    EXPECT_EQ(cleared.count(), 1);
    EXPECT_EQ(palette.buttonOf(&TOvDatabase::staticMetaObject), nullptr);

    package = loadPackage(QStringLiteral(OV_PACKAGE_FILE));
    EXPECT_EQ(palette.pages(), (QStringList{"Orvanta", TPalettePane::environmentPage()}));
    EXPECT_EQ(namesOf(palette.classesOf("Orvanta")), OrvantaClasses);

    {
        // A palette that is gone is not told any more.
        TPalettePane gone;
    }
    unloadPackage(package);
    package = loadPackage(QStringLiteral(OV_PACKAGE_FILE));
    EXPECT_EQ(palette.pages().size(), 2);
}
