#include "rtl/RuntimeDir.h"
#include "QtPrinters.h"
#include "common/TestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sets (or, with a null value, unsets) an environment variable for the life of
// the scope.
class EnvOverride
{
public:
    EnvOverride(const char *Name, const QByteArray &Value)
        : m_name(Name)
        , m_saved(qgetenv(Name))
    {
        set(Value);
    }
    ~EnvOverride() { set(m_saved); }

private:
    void set(const QByteArray &Value)
    {
        if (Value.isNull())
            qunsetenv(m_name);
        else
            qputenv(m_name, Value);
    }
    const char *m_name;
    QByteArray m_saved;
};

mode_t modeOf(const QString &Path)
{
    struct stat st;
    return lstat(QFile::encodeName(Path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool ownedByMe(const QString &Path)
{
    struct stat st;
    return lstat(QFile::encodeName(Path).constData(), &st) == 0 && S_ISDIR(st.st_mode)
           && st.st_uid == geteuid();
}

} // namespace

TEST(RuntimeDir, aSetAbsoluteFolderIsKept)
{
    TempFolder temp;
    EnvOverride tmp("TMPDIR", temp.path().toUtf8());
    EnvOverride xdg("XDG_RUNTIME_DIR", "/run/user/4242");
    EXPECT_EQ(ensureRuntimeDir(), "/run/user/4242");
    EXPECT_EQ(qgetenv("XDG_RUNTIME_DIR"), "/run/user/4242");
    EXPECT_TRUE(QDir(temp.path()).isEmpty()) << "nothing created";
}

TEST(RuntimeDir, unsetOrRelativeGetsAPrivateFolderInTheTempFolder)
{
    TempFolder temp;
    EnvOverride tmp("TMPDIR", temp.path().toUtf8());
    const QString fixed = temp.path() + "/ov-runtime-" + QString::number(geteuid());

    {
        EnvOverride xdg("XDG_RUNTIME_DIR", QByteArray());
        EXPECT_EQ(ensureRuntimeDir(), fixed) << "created when missing";
        EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), fixed);
        EXPECT_TRUE(ownedByMe(fixed));
        EXPECT_EQ(modeOf(fixed), mode_t(0700));
    }
    {
        EnvOverride xdg("XDG_RUNTIME_DIR", "");
        ASSERT_EQ(chmod(QFile::encodeName(fixed).constData(), 0755), 0);
        EXPECT_EQ(ensureRuntimeDir(), fixed)
            << "an empty value counts as unset; the folder is reused";
        EXPECT_EQ(modeOf(fixed), mode_t(0700)) << "rights put back to the user alone";
    }
    {
        EnvOverride xdg("XDG_RUNTIME_DIR", "relative/run");
        EXPECT_EQ(ensureRuntimeDir(), fixed) << "a relative value is invalid and replaced";
    }
}

TEST(RuntimeDir, somethingElseUnderTheNameIsLeftAloneForAFreshFolder)
{
    TempFolder temp;
    TempFolder elsewhere;
    EnvOverride tmp("TMPDIR", temp.path().toUtf8());
    EnvOverride xdg("XDG_RUNTIME_DIR", QByteArray());
    const QString fixed = temp.path() + "/ov-runtime-" + QString::number(geteuid());
    const QString prefix = fixed + "-";

    // A link planted by someone else, pointing at a folder they could read.
    ASSERT_TRUE(QFile::link(elsewhere.path(), fixed));
    const QString viaLink = ensureRuntimeDir();
    EXPECT_TRUE(viaLink.startsWith(prefix)) << viaLink.toStdString();
    EXPECT_TRUE(ownedByMe(viaLink));
    EXPECT_EQ(modeOf(viaLink), mode_t(0700));
    EXPECT_EQ(modeOf(elsewhere.path()), modeOf(temp.path())) << "the link's target is untouched";
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());

    // A plain file under the name.
    QFile::remove(fixed);
    temp.write(QFileInfo(fixed).fileName(), "not a folder");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString viaFile = ensureRuntimeDir();
    EXPECT_TRUE(viaFile.startsWith(prefix)) << viaFile.toStdString();
    EXPECT_NE(viaFile, viaLink) << "each fallback folder is new";
    EXPECT_EQ(temp.read(QFileInfo(fixed).fileName()), "not a folder");

    // Another user's folder: only root can set one up.
    if (geteuid() == 0) {
        QFile::remove(fixed);
        ASSERT_TRUE(QDir().mkdir(fixed));
        ASSERT_EQ(chown(QFile::encodeName(fixed).constData(), 65534, 65534), 0);
        ASSERT_EQ(chmod(QFile::encodeName(fixed).constData(), 0777), 0);
        qunsetenv("XDG_RUNTIME_DIR");
        const QString viaForeign = ensureRuntimeDir();
        EXPECT_TRUE(viaForeign.startsWith(prefix)) << viaForeign.toStdString();
        EXPECT_EQ(modeOf(fixed), mode_t(0777)) << "another user's folder keeps its rights";
    }

    // A temporary folder where nothing can be made.
    EnvOverride missing("TMPDIR", (temp.path() + "/no/such/folder").toUtf8());
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(ensureRuntimeDir(), QString());
    EXPECT_TRUE(qgetenv("XDG_RUNTIME_DIR").isNull()) << "left unset";
    EXPECT_FALSE(QFileInfo::exists("/ov-runtime-" + QString::number(geteuid())))
        << "nothing made in the root folder";
}
