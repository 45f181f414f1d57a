#include "FormDesigner.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

struct Module
{
    std::unique_ptr<QObject> root = std::make_unique<QObject>();
    QObject *a = new QObject(root.get());
    QObject *b = new QObject(root.get());
};

} // namespace

// The selection holds only the module's own components, once each, and
// forgets a component when it is deleted; only a real change is announced.
TEST(FormDesigner, SelectionFollowsTheModule)
{
    Module m;
    QObject *a = m.a, *b = m.b;
    QObject stranger;
    TFormDesigner designer(std::move(m.root), QStringLiteral("x.dfm"));
    QSignalSpy changed(&designer, &TFormDesigner::selectionChanged);

    designer.select({a, &stranger, a, b});
    EXPECT_EQ(designer.selection(), (QList<QObject *>{a, b}));
    EXPECT_EQ(changed.count(), 1);
    designer.select({a, b});
    EXPECT_EQ(changed.count(), 1);

    delete a;
    EXPECT_EQ(designer.selection(), QList<QObject *>{b});
    designer.notifyComponentsChanged();
    EXPECT_EQ(changed.count(), 2);
    EXPECT_TRUE(designer.isModified());
    EXPECT_EQ(FindRootDesigner(b), &designer);
}

// Modified() from an editor marks the module and announces a value change;
// a save clears the mark with one announcement.
TEST(FormDesigner, ModifiedStateIsAnnouncedOnChange)
{
    TFormDesigner designer(std::make_unique<QObject>());
    QSignalSpy modified(&designer, &TFormDesigner::modifiedChanged);
    QSignalSpy design(&designer, &TFormDesigner::designChanged);
    designer.Modified();
    designer.Modified();
    EXPECT_EQ(modified.count(), 1);
    EXPECT_EQ(design.count(), 2);
    designer.setModified(false);
    EXPECT_EQ(modified.count(), 2);
    EXPECT_FALSE(designer.isModified());
    EXPECT_EQ(designer.GetDesignerExtension(), QStringLiteral("dfm"));
}
