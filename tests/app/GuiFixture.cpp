#include "GuiFixture.h"
#include "MainWindow.h"

#include "designide/FormFile.h"
#include "designide/PackageLoader.h"
#include "orvlib/DB.h"
#include "rtl/UiServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSet>
#include <QTest>
#include <QWidget>

#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> suiteFolder;
QString packageName;

QByteArray readExample(const QString &Name)
{
    QFile f(QStringLiteral(OV_EXAMPLES_DIR "/") + Name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

void GuiTest::SetUpTestSuite()
{
    // The package's settings file and registry store stay in the suite's
    // folder, never the developer's own.
    suiteFolder = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", suiteFolder->path().toUtf8());
    QDir::setCurrent(suiteFolder->path());
    RegisterClasses({&TDataModule::staticMetaObject, &TDataSource::staticMetaObject});
    packageName = loadPackage(QStringLiteral(OV_PACKAGE_FILE));
}

void GuiTest::TearDownTestSuite()
{
    unloadPackage(packageName);
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    suiteFolder.reset();
}

void GuiTest::SetUp()
{
    m_folder.write(QStringLiteral("demo.dfm"), readExample(QStringLiteral("demo.dfm")));
    m_folder.write(QStringLiteral("demo.sql"), readExample(QStringLiteral("demo.sql")));
}

QImage GuiTest::screenshot(QWidget *Widget, const QString &Name)
{
    const QDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots"));
    dir.mkpath(QStringLiteral("."));
    const QPixmap picture = Widget->grab();
    picture.save(dir.filePath(Name + QStringLiteral(".png")));
    return picture.toImage();
}

QImage GuiTest::screenshot(const MessageRequest &Request, const QString &Name)
{
    QMessageBox box;
    QtUiServices::setUpMessageBox(box, Request);
    // Shown once, so the box lays its text and buttons out as on the screen.
    box.show();
    const QImage picture = screenshot(&box, Name);
    box.hide();
    return picture;
}

int GuiTest::colourCount(const QImage &Image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < Image.height(); y += 2)
        for (int x = 0; x < Image.width(); x += 2)
            colours.insert(Image.pixel(x, y));
    return int(colours.size());
}

void WindowTest::SetUp()
{
    GuiTest::SetUp();
    window = std::make_unique<TMainWindow>(nullptr, folder().file(QStringLiteral("recent.ini")));
    window->resize(1100, 720);
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get())) << "shortcuts need the active window";
}

void WindowTest::TearDown()
{
    if (window && window->designer())
        window->designer()->setModified(false);
    window.reset();
}

bool WindowTest::openDemo()
{
    return window->openForm(demoForm());
}

QObject *WindowTest::component(const QString &Name) const
{
    return window->designer()->Root()->findChild<QObject *>(Name, Qt::FindDirectChildrenOnly);
}
