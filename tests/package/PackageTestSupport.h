#pragma once

#include "OvReg.h"

#include "common/TestSupport.h"

#include "designide/DesignIntf.h"
#include "designide/ModuleServices.h"

#include "rtl/Registry.h"

#include <QObject>

#include <gtest/gtest.h>

// A designer of Root that counts Modified calls and names an extension.
class TestDesigner : public IDesigner
{
public:
    explicit TestDesigner(QObject *Root = nullptr, QString Extension = {})
        : root(Root)
        , extension(std::move(Extension))
    {}
    void Modified() override { ++modified; }
    QObject *Root() const override { return root; }
    QString GetDesignerExtension() const override { return extension; }

    QObject *root;
    QString extension;
    int modified = 0;
};

// The package's unit initialized on settings of a temporary folder, and
// fresh environment services (so no module of another test is open).
class PackageFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TRegistry::setStorePathOverride(tmp.file("registry"));
        tmp.write("registry", "[Software\\Orvanta]\nRootDir=" + tmp.path().toUtf8() + "\n");
        OvRegInitialization();
        savedServices = BorlandIDEServices;
        BorlandIDEServices = std::make_shared<TIDEServices>();
        services = ideModuleServices();
    }
    void TearDown() override
    {
        BorlandIDEServices = savedServices;
        OvRegFinalization();
        TRegistry::setStorePathOverride(QString());
    }

    TempFolder tmp;
    IInterfacePtr savedServices;
    std::shared_ptr<TModuleServices> services;
};
