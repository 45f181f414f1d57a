#pragma once

#include "FormDesigner.h"

#include "common/TestSupport.h"

#include "designide/FormFile.h"
#include "designide/ModuleServices.h"
#include "designide/PackageLoader.h"

#include "orvlib/DB.h"

#include "rtl/Registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QWidget>

#include <gtest/gtest.h>

// The designer's environment as the program sets it up: the package loaded
// from the build (its settings in a temporary folder, the SQL-editor switch
// on), the environment's own classes registered, fresh module services.
class PaneFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TRegistry::setStorePathOverride(tmp.file("registry"));
        tmp.write("registry", "[Software\\Orvanta]\nRootDir=" + tmp.path().toUtf8() + "\n");
        tmp.write("orvlib.ini", "[SQLEditor]\nEnabled=1\n");
        savedServices = BorlandIDEServices;
        BorlandIDEServices = std::make_shared<TIDEServices>();
        RegisterClasses({&TDataModule::staticMetaObject, &TDataSource::staticMetaObject});
        package = loadPackage(QStringLiteral(OV_PACKAGE_FILE));
    }
    void TearDown() override
    {
        unloadPackage(package);
        BorlandIDEServices = savedServices;
        TRegistry::setStorePathOverride(QString());
    }

    // A designer of the demo data module, read from a copy of the example.
    TFormDesignerPtr openDemo()
    {
        const QString file = tmp.file("demo.dfm");
        QFile::remove(file);
        QFile::copy(QStringLiteral(OV_EXAMPLES_DIR "/demo.dfm"), file);
        return std::make_shared<TFormDesigner>(LoadFormFile(file), file);
    }

    // Saves a picture of Widget as screenshots/NAME.png beside the test
    // program and returns its path.
    static QString screenshot(QWidget *Widget, const QString &Name)
    {
        const QDir dir(QCoreApplication::applicationDirPath());
        dir.mkpath(QStringLiteral("screenshots"));
        const QString path = dir.filePath(QStringLiteral("screenshots/%1.png").arg(Name));
        EXPECT_TRUE(Widget->grab().save(path)) << path.toStdString();
        return path;
    }

    TempFolder tmp;
    IInterfacePtr savedServices;
    QString package;
};
