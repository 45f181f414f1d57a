// Saving a form over a file that has more than its bytes: an owner, a group,
// other names, a backup beside it, leftovers of a killed save, a folder that
// cannot be written.
#include "FilePermissions.h"
#include "FullDisk.h"
#include "TestSupport.h"

#include "designide/FormFile.h"
#include "rtl/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Ids no test machine gives the user running the tests.
constexpr uid_t OtherUser = 54321;
constexpr gid_t OtherGroup = 54322;
constexpr gid_t FolderGroup = 54323;

struct stat statOf(const QString &Path)
{
    struct stat st
    {};
    ::lstat(QFile::encodeName(Path).constData(), &st);
    return st;
}

// Saves a module whose text names Tag, so that two saves differ.
void save(const QString &File, const char *Tag, const TFormFileStamp *Expected = nullptr)
{
    TDataModule root;
    root.setObjectName(QLatin1String(Tag));
    SaveFormFile(&root, File, Expected);
}

QByteArray textOf(const char *Tag)
{
    return QByteArray("object ") + Tag + ": TDataModule\nend\n";
}

// A group of the user's other than the one new files get, or 0.
gid_t secondGroupOfUser()
{
    gid_t groups[256];
    const int count = ::getgroups(256, groups);
    for (int i = 0; i < count; ++i)
        if (groups[i] != ::getegid())
            return groups[i];
    return 0;
}

} // namespace

// A saved form keeps the owner, group and mode it had: root saving another
// user's form leaves it that user's; in a set-group-id folder the form keeps
// its own group while a new form takes the folder's. Where the owner cannot
// be given back (root without the right to, or an ordinary user), the form
// is written in place and stays its owner's.
TEST(FormSavingTest, aSavedFormKeepsItsOwnerGroupAndMode)
{
    TempFolder dir;
    const QString form = dir.file(QStringLiteral("shared.dfm"));
    dir.write(QStringLiteral("shared.dfm"), textOf("Old"));
    ASSERT_EQ(::chmod(QFile::encodeName(form).constData(), 0664), 0);
    if (::geteuid() != 0) {
        // An ordinary user can only hand a file to a group of theirs.
        const gid_t group = secondGroupOfUser();
        if (group == 0) {
            std::printf("note: no second group: only the mode is checked\n");
            EXPECT_FALSE(runningUnderCi()) << "CI runs this as root";
        } else {
            ASSERT_EQ(::chown(QFile::encodeName(form).constData(), ::geteuid(), group), 0);
        }
        const struct stat before = statOf(form);
        save(form, "New");
        const struct stat after = statOf(form);
        EXPECT_EQ(after.st_gid, before.st_gid) << "group kept";
        EXPECT_EQ(after.st_mode & 07777, 0664u) << "mode kept";
        EXPECT_EQ(dir.read(QStringLiteral("shared.dfm")), textOf("New"));
        return;
    }
    ASSERT_EQ(::chown(QFile::encodeName(form).constData(), OtherUser, OtherGroup), 0);
    ASSERT_EQ(::chown(QFile::encodeName(dir.path()).constData(), 0, FolderGroup), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 02775), 0);

    save(form, "New");
    struct stat st = statOf(form);
    EXPECT_EQ(st.st_uid, OtherUser) << "root's save leaves the form its owner's";
    EXPECT_EQ(st.st_gid, OtherGroup) << "the form keeps its group, not the folder's";
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(dir.read(QStringLiteral("shared.dfm")), textOf("New"));
    EXPECT_EQ(statOf(dir.file(QStringLiteral("shared.~dfm"))).st_uid, OtherUser)
        << "the backup is the owner's too";
    EXPECT_EQ(dir.read(QStringLiteral("shared.~dfm")), textOf("Old"));

    const QString fresh = dir.file(QStringLiteral("fresh.dfm"));
    save(fresh, "Fresh");
    EXPECT_EQ(statOf(fresh).st_uid, 0u) << "a new form is its maker's";
    EXPECT_EQ(statOf(fresh).st_gid, FolderGroup) << "a new form takes the folder's group";

    // Root that may not hand files over: the form is written in place.
    ASSERT_EQ(::chmod(QFile::encodeName(form).constData(), 0666), 0);
    const ino_t inode = statOf(form).st_ino;
    {
        const FilePermissionsHold asAnyone(true);
        ASSERT_TRUE(asAnyone.problem().isEmpty()) << asAnyone.problem().toStdString();
        save(form, "InPlace");
    }
    st = statOf(form);
    EXPECT_EQ(st.st_ino, inode) << "written in place";
    EXPECT_EQ(st.st_uid, OtherUser);
    EXPECT_EQ(st.st_gid, OtherGroup);
    EXPECT_EQ(dir.read(QStringLiteral("shared.dfm")), textOf("InPlace"));
    EXPECT_EQ(dir.read(QStringLiteral("shared.~dfm")), textOf("New"));
}

// A form with a second name is written in place after its backup is copied:
// both names show the new text and the backup is a file of its own. A form
// with one name is replaced and its old file becomes the backup.
TEST(FormSavingTest, aFormWithASecondNameIsNotSplit)
{
    TempFolder dir;
    const QString form = dir.file(QStringLiteral("a.dfm"));
    const QString other = dir.file(QStringLiteral("b.dfm"));
    dir.write(QStringLiteral("a.dfm"), textOf("Old"));
    const ino_t first = statOf(form).st_ino;
    save(form, "Second");
    EXPECT_NE(statOf(form).st_ino, first) << "one name: replaced";
    EXPECT_EQ(statOf(dir.file(QStringLiteral("a.~dfm"))).st_ino, first)
        << "its old file is the backup";

    ASSERT_EQ(::link(QFile::encodeName(form).constData(), QFile::encodeName(other).constData()), 0);
    const ino_t linked = statOf(form).st_ino;
    for (const char *tag : {"Third", "Fourth"}) {
        SCOPED_TRACE(tag);
        const QByteArray before = dir.read(QStringLiteral("a.dfm"));
        save(form, tag);
        EXPECT_EQ(statOf(form).st_ino, linked) << "written in place";
        EXPECT_EQ(statOf(form).st_nlink, 2u);
        EXPECT_EQ(dir.read(QStringLiteral("b.dfm")), textOf(tag)) << "the other name sees it";
        EXPECT_EQ(dir.read(QStringLiteral("a.~dfm")), before) << "the backup is the old text";
        EXPECT_NE(statOf(dir.file(QStringLiteral("a.~dfm"))).st_ino, linked);
    }
    EXPECT_EQ(filesIn(dir.path()), QStringList({"a.dfm", "a.~dfm", "b.dfm"}));

    // The backup's name is a third name of the form: it gets a copy of its own.
    const QByteArray backup = QFile::encodeName(dir.file(QStringLiteral("a.~dfm")));
    ASSERT_EQ(::unlink(backup.constData()), 0);
    ASSERT_EQ(::link(QFile::encodeName(form).constData(), backup.constData()), 0);
    save(form, "Fifth");
    EXPECT_EQ(dir.read(QStringLiteral("a.~dfm")), textOf("Fourth"));
    EXPECT_EQ(dir.read(QStringLiteral("b.dfm")), textOf("Fifth"));
    EXPECT_EQ(statOf(form).st_nlink, 2u);
    EXPECT_EQ(filesIn(dir.path()), QStringList({"a.dfm", "a.~dfm", "b.dfm"}));
}

// Forms that differ only in their extension, a form named like a backup and
// one without an extension each keep a backup of their own, and no hidden
// file is left.
TEST(FormSavingTest, eachFormKeepsABackupOfItsOwn)
{
    const struct
    {
        const char *form, *backup;
    } names[] = {{"col.dfm", "col.~dfm"}, {"col.xfm", "col.~xfm"},     {"self.~dfm", "self.~~dfm"},
                 {"noext", "noext~"},     {"trailing.", "trailing.~"}, {".hidden", ".hidden~"}};
    TempFolder dir;
    QStringList expected;
    for (const auto &name : names) {
        SCOPED_TRACE(name.form);
        const QString form = dir.file(QLatin1String(name.form));
        EXPECT_EQ(FormBackupFileName(form), dir.file(QLatin1String(name.backup)));
        save(form, "First");
        save(form, "Second");
        expected << QLatin1String(name.form) << QLatin1String(name.backup);
    }
    for (const auto &name : names) {
        SCOPED_TRACE(name.form);
        EXPECT_EQ(dir.read(QLatin1String(name.form)), textOf("Second"));
        EXPECT_EQ(dir.read(QLatin1String(name.backup)), textOf("First"));
    }
    expected.sort();
    EXPECT_EQ(filesIn(dir.path()), expected) << "no hidden file left";
}

// A save removes what killed saves of the same form left (a writer killed
// for real, and the backup's temporary file), and its lock file; files of a
// writer still running and of other forms stay.
TEST(FormSavingTest, aSaveRemovesTheLeftoversOfAKilledSave)
{
    QProcess running;
    running.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(running.waitForStarted(30000));
    const QString dead = QStringLiteral("2000000000"); // above any process id the system gives
    const QString alive = QString::number(running.processId());
    ASSERT_NE(alive, QStringLiteral("0"));

    TempFolder dir;
    dir.write(QStringLiteral("demo.dfm"), textOf("Old"));
    const QStringList left{QStringLiteral(".demo.dfm.%1.Ab12Cd").arg(dead),
                           QStringLiteral(".demo.~dfm.%1.0").arg(dead),
                           QStringLiteral(".demo.dfm.lock")};
    const QStringList kept{QStringLiteral(".demo.dfm.%1.Xy34Zw").arg(alive),
                           QStringLiteral(".other.dfm.%1.Qq11Qq").arg(dead),
                           QStringLiteral(".demo.dfm.%1.notours").arg(dead)};
    for (const QString &name : left + kept)
        dir.write(name, "twelve bytes");
    // A save killed after its new text went to disk, before the rename.
    const pid_t killed = ::fork();
    ASSERT_GE(killed, 0);
    if (killed == 0) {
        AtomicFileWriter writer(dir.file(QStringLiteral("demo.dfm")));
        if (writer.write(textOf("Killed")).isEmpty())
            ::raise(SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(killed, &status, 0), killed);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was killed";
    ASSERT_EQ(filesIn(dir.path()).size(), left.size() + kept.size() + 2) << "it left its file";

    save(dir.file(QStringLiteral("demo.dfm")), "New");
    QStringList expected = kept;
    expected << QStringLiteral("demo.dfm") << QStringLiteral("demo.~dfm");
    expected.sort();
    EXPECT_EQ(filesIn(dir.path()), expected);
    running.kill();
    running.waitForFinished(30000);
}

// A folder that cannot be written: the message names the folder, and the
// form stays as it was. A form that is read-only in a folder that can be
// written is saved (it is replaced) and stays read-only.
TEST(FormSavingTest, aFolderThatCannotBeWrittenIsNamed)
{
    TempFolder dir;
    const QString form = dir.file(QStringLiteral("demo.dfm"));
    dir.write(QStringLiteral("demo.dfm"), textOf("Old"));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    {
        const FilePermissionsHold asAnyone;
        ASSERT_TRUE(asAnyone.problem().isEmpty()) << asAnyone.problem().toStdString();
        try {
            save(form, "New");
            ADD_FAILURE() << "no error";
        } catch (const EFormError &e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("the folder %1 cannot be written: ")
                                                 .arg(QDir::toNativeSeparators(dir.path()))))
                << e.Message().toStdString();
        }
    }
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    EXPECT_EQ(dir.read(QStringLiteral("demo.dfm")), textOf("Old"));
    EXPECT_EQ(filesIn(dir.path()), QStringList({"demo.dfm"}));

    ASSERT_EQ(::chmod(QFile::encodeName(form).constData(), 0444), 0);
    {
        const FilePermissionsHold asAnyone;
        save(form, "New");
    }
    EXPECT_EQ(dir.read(QStringLiteral("demo.dfm")), textOf("New"));
    EXPECT_EQ(statOf(form).st_mode & 07777, 0444u);
}
