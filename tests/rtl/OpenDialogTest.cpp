// The open-file dialog: its filter, filter index and options, as a script
// and as the Qt file dialog honour them.
#include "rtl/Dialogs.h"
#include "rtl/UiServices.h"

#include "common/TestSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString IniFilter
    = QStringLiteral("Ini-files (*.ini)|*.INI|Text files (*.txt)|*.TXT|All files (*.*)|*.*");

TEST(OpenDialog, filterEntriesAndOptions)
{
    TOpenDialog dialog;
    EXPECT_EQ(dialog.Options, ofHideReadOnly | ofEnableSizing) << "the defaults";
    EXPECT_EQ(dialog.FilterIndex, 1);
    dialog.Filter = IniFilter;
    const auto entries = dialog.FilterEntries();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].first, "Ini-files (*.ini)");
    EXPECT_EQ(entries[0].second, QStringList{"*.INI"});
    EXPECT_EQ(entries[2].second, QStringList{"*.*"});
    EXPECT_EQ(QtUiServices::nameFilters(IniFilter),
              QStringList({"Ini-files (*.INI)", "Text files (*.TXT)", "All files (*)"}));
    dialog.Filter = "Several|*.a; *.b ;|Dangling";
    ASSERT_EQ(dialog.FilterEntries().size(), 1) << "a description without patterns is no entry";
    EXPECT_EQ(dialog.FilterEntries()[0].second, QStringList({"*.a", "*.b"}));

    TempFolder tmp;
    tmp.write("conn.ini", "A=1\n");
    ASSERT_EQ(mkfifo(tmp.file("pipe").toLocal8Bit().constData(), 0600), 0);
    struct Case
    {
        QString file;
        TOpenOptions options;
        bool accepted;
    } cases[] = {
        {tmp.file("conn.ini"), ofFileMustExist | ofPathMustExist, true},
        {tmp.file("new.ini"), DefaultOpenOptions, true},
        {tmp.file("new.ini"), ofPathMustExist, true},
        {tmp.file("new.ini"), ofFileMustExist, false},
        {tmp.file("no/new.ini"), ofPathMustExist, false},
        {tmp.file("no/new.ini"), DefaultOpenOptions, true},
        {tmp.path(), ofFileMustExist, false},
        {tmp.file("conn.ini/x"), ofPathMustExist, false},
        {tmp.file("pipe"), ofFileMustExist, true},
        {QString(), DefaultOpenOptions, false},
    };
    for (const Case &c : cases) {
        dialog.FileName = c.file;
        dialog.Options = c.options;
        EXPECT_EQ(dialog.CheckFileName().isEmpty(), c.accepted)
            << c.file.toStdString() << " options " << c.options << ": "
            << dialog.CheckFileName().toStdString();
    }
}

TEST(OpenDialog, aScriptConfirmsOnlyWhatTheDialogAccepts)
{
    TempFolder tmp;
    tmp.write("conn.ini", "A=1\n");
    ScriptedUi ui;
    TOpenDialog dialog;
    dialog.Filter = IniFilter;
    dialog.Options |= ofFileMustExist;
    dialog.FileName = tmp.file("old.ini");
    ui.onOpenFile([&](TOpenDialog &D) {
        D.FileName = tmp.file("missing.ini");
        return true;
    });
    EXPECT_THROW(dialog.Execute(), ScriptedUi::ScriptError);
    ui.onOpenFile([&](TOpenDialog &D) {
        D.FileName = tmp.file("conn.ini");
        D.FilterIndex = 3;
        return true;
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, tmp.file("conn.ini"));
    EXPECT_EQ(dialog.FilterIndex, 3);
    ASSERT_EQ(ui.openDialogs.size(), 2u);
    EXPECT_EQ(ui.openDialogs[0].FileName, tmp.file("old.ini")) << "recorded as shown";
    EXPECT_EQ(ui.openDialogs[1].FilterIndex, 1);
    EXPECT_EQ(ui.openDialogs[1].Options, DefaultOpenOptions | ofFileMustExist);
}

// The Qt implementation itself: a timer plays the person inside the real
// QFileDialog's modal loop.
TEST(OpenDialog, qtFileDialogHonoursFilterIndexAndOptions)
{
    TempFolder tmp;
    tmp.write("conn.ini", "A=1\n");
    QtUiServices qt;
    TOpenDialog dialog;
    dialog.Filter = IniFilter;
    dialog.FilterIndex = 2;
    dialog.Options |= ofPathMustExist | ofFileMustExist;
    dialog.FileName = tmp.file("conn.ini");

    QString shownFilter;
    QFileDialog::FileMode shownMode = QFileDialog::AnyFile;
    QString shownDir;
    int tries = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto *fd = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!fd) {
            if (++tries > 500)
                timer.stop();
            return;
        }
        timer.stop();
        shownFilter = fd->selectedNameFilter();
        shownMode = fd->fileMode();
        shownDir = fd->directory().absolutePath();
        fd->selectNameFilter(QtUiServices::nameFilters(IniFilter).at(2));
        fd->selectFile(tmp.file("conn.ini"));
        static_cast<QDialog *>(fd)->accept(); // QFileDialog::accept, as the Open button does
    });
    timer.start();
    EXPECT_TRUE(qt.openFile(dialog));
    EXPECT_EQ(shownFilter, "Text files (*.TXT)") << "the filter index, counted from 1";
    EXPECT_EQ(shownMode, QFileDialog::ExistingFile) << "only existing files";
    EXPECT_EQ(shownDir, QDir(tmp.path()).absolutePath()) << "starts at the file's folder";
    EXPECT_EQ(dialog.FileName, QDir(tmp.path()).absoluteFilePath("conn.ini"));
    EXPECT_EQ(dialog.FilterIndex, 3) << "the filter in force when confirmed";
}

} // namespace
