// The collection editor on a real runtime collection (a query's parameters),
// driven through the modal seam as a person would drive it.

#include "TestComponents.h"

#include "designide/ColnEdit.h"
#include "designide/DesignErrors.h"

#include "orvlib/OvDB.h"

#include "rtl/UiServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace {

QPushButton *button(TForm &F, const char *Name)
{
    return F.findChild<QPushButton *>(QLatin1String(Name));
}

QString paramNames(const TParams *Params)
{
    return Params->Names().join(u',');
}

class CollectionEditorTest : public ::testing::Test
{
protected:
    CollectionEditorTest()
    {
        designer->root = &root;
        root.setObjectName(QStringLiteral("DataModule1"));
        query = new TOvQuery(&root);
        query->setObjectName(QStringLiteral("OvQuery1"));
        query->SQL()->SetText(QStringLiteral("select * from t where a = :a and b = :b or c = :c"));
    }

    void show(TColOptions Options, ScriptedUi::ModalStep Step,
              TCollectionEditorClass Class = &TCollectionEditor::staticMetaObject)
    {
        ui.onModal(std::move(Step));
        ShowCollectionEditorClass(designer, Class, query, query->Params(), QStringLiteral("Params"),
                                  Options);
        EXPECT_EQ(ui.pendingSteps(), 0u) << "the editor was shown";
    }

    ScriptedUi ui;
    std::shared_ptr<CountingDesigner> designer = std::make_shared<CountingDesigner>();
    QObject root;
    TOvQuery *query = nullptr;
};

} // namespace

// With the empty option set the existing items can be edited, but nothing can
// be added, deleted or moved: not by the buttons, not by their actions.
TEST_F(CollectionEditorTest, emptyOptionsAllowOnlyEditing)
{
    show({}, [&](TForm &F) {
        auto &ed = dynamic_cast<TCollectionEditor &>(F);
        EXPECT_EQ(ed.Options(), TColOptions()) << "opened with the empty set";
        EXPECT_EQ(ed.Collection(), query->Params());
        EXPECT_EQ(ed.Component(), query);
        EXPECT_EQ(ed.PropertyName(), QStringLiteral("Params"));
        EXPECT_EQ(ed.Designer(), designer);
        EXPECT_EQ(ed.windowTitle(), QStringLiteral("Editing OvQuery1.Params"));
        EXPECT_EQ(ed.ItemCaptions(), (QStringList{"0 - a", "1 - b", "2 - c"}));
        EXPECT_EQ(ed.ItemIndex(), 0) << "the first item starts selected";

        ed.SetItemIndex(1);
        for (const char *b : {"btAdd", "btDelete", "btMoveUp", "btMoveDown"})
            EXPECT_FALSE(button(F, b)->isEnabled()) << b << " is off";
        ed.AddClick();
        ed.DeleteClick();
        ed.MoveUpClick();
        ed.MoveDownClick();
        button(F, "btAdd")->click();
        EXPECT_EQ(paramNames(query->Params()), QStringLiteral("a,b,c")) << "nothing changed";
        EXPECT_EQ(designer->modified, 0) << "and the designer was not told";

        // Editing the selected item's published properties.
        EXPECT_EQ(ed.ItemProperty(QStringLiteral("ParamType")), QStringLiteral("ptInput"));
        ed.SetItemProperty(QStringLiteral("ParamType"), QStringLiteral("ptOutput"));
        EXPECT_EQ(query->Params()->Items(1)->ParamType(), TParamType::ptOutput);
        EXPECT_EQ(designer->modified, 1) << "an edit is a change";
        EXPECT_THROW(ed.SetItemProperty(QStringLiteral("ParamType"), QStringLiteral("ptNone")),
                     EPropertyError)
            << "an unknown enumeration key";
        EXPECT_THROW(ed.SetItemProperty(QStringLiteral("NoSuch"), QStringLiteral("1")),
                     EPropertyError);
        EXPECT_THROW(ed.SetItemProperty(QStringLiteral("objectName"), QStringLiteral("x")),
                     EPropertyError)
            << "only the item's published properties";
        EXPECT_EQ(designer->modified, 1) << "refused edits change nothing";

        // Renaming shows in the list at once.
        ed.SetItemProperty(QStringLiteral("Name"), QStringLiteral("b2"));
        EXPECT_EQ(ed.ItemCaptions().at(1), QStringLiteral("1 - b2"));

        // The grid as a person types into it: a bad value is put back and reported.
        auto *grid = F.findChild<QTableWidget *>(QStringLiteral("gdProperties"));
        const auto rowOf = [&](const char *Name) {
            for (int r = 0; r < grid->rowCount(); ++r)
                if (grid->item(r, 0)->text() == QLatin1String(Name))
                    return r;
            return -1;
        };
        const int row = rowOf("Value");
        const int typeRow = rowOf("ParamType");
        ASSERT_GE(row, 0);
        ASSERT_GE(typeRow, 0);
        grid->item(row, 1)->setText(QStringLiteral("42"));
        EXPECT_EQ(query->Params()->Items(1)->Value(), QVariant(QStringLiteral("42")));
        ui.answer(mrOk);
        const QString before = grid->item(typeRow, 1)->text();
        grid->item(typeRow, 1)->setText(QStringLiteral("garbage"));
        EXPECT_EQ(ui.messages.size(), 1u) << "the refusal is shown";
        EXPECT_EQ(grid->item(typeRow, 1)->text(), before) << "and the old value put back";

        F.grab().save(QDir(QCoreApplication::applicationDirPath())
                          .filePath(QStringLiteral("CollectionEditor.png")));
        button(F, "btClose")->click();
    });
    EXPECT_EQ(ui.modalForms, std::vector<QString>{"TCollectionEditor"});
}

// {add, delete} builds a list by hand; moving stays off. {move} alone moves.
TEST_F(CollectionEditorTest, optionsEnableTheirOwnActions)
{
    show(TColOption::coAdd | TColOption::coDelete, [&](TForm &F) {
        auto &ed = dynamic_cast<TCollectionEditor &>(F);
        EXPECT_TRUE(button(F, "btAdd")->isEnabled());
        EXPECT_TRUE(button(F, "btDelete")->isEnabled());
        EXPECT_FALSE(button(F, "btMoveDown")->isEnabled()) << "no move without coMove";
        button(F, "btAdd")->click();
        EXPECT_EQ(query->Params()->Count(), 4);
        EXPECT_EQ(ed.ItemIndex(), 3) << "the new item is selected";
        EXPECT_EQ(ed.ItemCaptions().at(3), QStringLiteral("3 - TParam"))
            << "a nameless item shows its class";
        ed.SetItemProperty(QStringLiteral("Name"), QStringLiteral("d"));
        ed.MoveUpClick();
        EXPECT_EQ(paramNames(query->Params()), QStringLiteral("a,b,c,d"));
        ed.SetItemIndex(0);
        button(F, "btDelete")->click();
        EXPECT_EQ(paramNames(query->Params()), QStringLiteral("b,c,d"));
        EXPECT_EQ(ed.ItemIndex(), 0) << "the next item takes the selection";
        ed.SetItemIndex(2);
        ed.DeleteClick();
        EXPECT_EQ(ed.ItemIndex(), 1) << "deleting the last selects the one before";
        ed.DeleteClick();
        ed.DeleteClick();
        EXPECT_EQ(query->Params()->Count(), 0);
        EXPECT_EQ(ed.ItemIndex(), -1);
        EXPECT_FALSE(button(F, "btDelete")->isEnabled()) << "nothing left to delete";
        ed.DeleteClick(); // nothing selected: nothing happens
        button(F, "btClose")->click();
    });
    EXPECT_EQ(designer->modified, 6) << "add, rename, four deletes";

    query->SQL()->SetText(QStringLiteral("select :a, :b, :c"));
    designer->modified = 0;
    show(TColOption::coMove, [&](TForm &F) {
        auto &ed = dynamic_cast<TCollectionEditor &>(F);
        EXPECT_FALSE(button(F, "btAdd")->isEnabled());
        EXPECT_FALSE(button(F, "btMoveUp")->isEnabled()) << "the first cannot go up";
        button(F, "btMoveDown")->click();
        EXPECT_EQ(paramNames(query->Params()), QStringLiteral("b,a,c"));
        EXPECT_EQ(ed.ItemIndex(), 1) << "the selection follows the item";
        ed.SetItemIndex(2);
        EXPECT_FALSE(button(F, "btMoveDown")->isEnabled()) << "the last cannot go down";
        ed.MoveDownClick();
        ed.MoveUpClick();
        EXPECT_EQ(paramNames(query->Params()), QStringLiteral("b,c,a"));
        ed.AddClick();
        EXPECT_EQ(query->Params()->Count(), 3) << "no add without coAdd";
        button(F, "btClose")->click();
    });
    EXPECT_EQ(designer->modified, 2);
}

// The class passed is the class shown; what is not an editor class, or no
// collection, is refused before anything is shown.
TEST_F(CollectionEditorTest, editorClassAndRefusals)
{
    show(
        {},
        [&](TForm &F) {
            EXPECT_NE(qobject_cast<TTestCollectionEditor *>(&F), nullptr);
            F.SetModalResult(mrCancel);
        },
        &TTestCollectionEditor::staticMetaObject);
    EXPECT_EQ(ui.modalForms.back(), QStringLiteral("TTestCollectionEditor"));

    EXPECT_THROW(ShowCollectionEditorClass(designer, &QObject::staticMetaObject, query,
                                           query->Params(), QStringLiteral("Params")),
                 EDesignError);
    EXPECT_THROW(ShowCollectionEditorClass(designer, &TCollectionEditor::staticMetaObject, query,
                                           nullptr, QStringLiteral("Params")),
                 EDesignError);
    EXPECT_EQ(ui.modalForms.size(), 1u) << "nothing else was shown";

    // Without a designer the editor still works; there is just nobody to tell.
    ui.onModal([&](TForm &F) {
        dynamic_cast<TCollectionEditor &>(F).DeleteClick();
        F.SetModalResult(mrOk);
    });
    ShowCollectionEditorClass(nullptr, nullptr, query, query->Params(), QStringLiteral("Params"),
                              TColOption::coDelete);
    EXPECT_EQ(paramNames(query->Params()), QStringLiteral("b,c"));
}
