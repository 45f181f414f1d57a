// Random sequences of edits on the demo (add, delete, rename, link, paste,
// move), as the panes make them, then everything undone and made again:
// undoing all gives back the form text the module started with, redoing all
// the edited one, byte for byte. Each run names its seed and its edits.
#include "FormDesigner.h"
#include "GuiFixture.h"
#include "ModuleHistory.h"

#include "common/RandomModuleEdits.h"
#include "designide/FormFile.h"
#include "rtl/SysUtils.h"

namespace {

class UndoSequenceTest : public GuiTest
{};

// Runs every step of History back (Undo) or again; the message of the
// first that raised, or empty.
std::string runAll(TModuleHistory &History, bool Undo)
{
    int done = 0;
    try {
        for (; Undo ? History.canUndo() : History.canRedo(); ++done)
            Undo ? History.undo() : History.redo();
    } catch (const Exception &e) {
        return QStringLiteral("%1 %2 failed: %3")
            .arg(QLatin1String(Undo ? "undo" : "redo"))
            .arg(done + 1)
            .arg(e.Message())
            .toStdString();
    }
    return {};
}

} // namespace

TEST_F(UndoSequenceTest, UndoAllAndRedoAllGiveTheTextsBackByteForByte)
{
    for (quint32 seed = 1; seed <= 30; ++seed) {
        const auto designer = std::make_shared<TFormDesigner>(LoadFormFile(demoForm()), demoForm());
        TModuleHistory history(designer);
        auto text = [&] {
            return WriteFormText(designer->Root()).toStdString();
        };
        const std::string original = text();
        TRandomModuleEdits edits(*designer, seed);
        QStringList made;
        for (int step = 1; step <= 60; ++step)
            made << edits.edit(step);
        const std::string edited = text();
        const std::string label = QStringLiteral("seed %1: %2")
                                      .arg(seed)
                                      .arg(made.join(QStringLiteral(", ")))
                                      .toStdString();

        const std::string undone = runAll(history, true);
        ASSERT_EQ(undone, "") << label;
        EXPECT_EQ(text(), original) << "undo all; " << label;
        EXPECT_FALSE(designer->isModified()) << "back where it was opened; " << label;
        const std::string redone = runAll(history, false);
        ASSERT_EQ(redone, "") << label;
        EXPECT_EQ(text(), edited) << "redo all; " << label;
        EXPECT_TRUE(designer->isModified()) << label;
    }
}
