// A small package module for the loader tests. The variants are built from
// this one file: OVTEST_FAIL_IN_INIT makes unit UnitB's initialization raise,
// OVTEST_FAIL_IN_REGISTER makes Register raise after its first registration,
// OVTEST_FAIL_IN_FINI makes UnitB's finalization raise (with a message whose
// text lives in the module),
// and OVTEST_ABI gives another ABI version. Units log what runs to the file
// named by OV_TEST_PACKAGE_LOG.

#include "designide/ComponentEditors.h"
#include "designide/DesignIntf.h"
#include "designide/PackageInfo.h"
#include "rtl/SysUtils.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#ifndef OVTEST_ABI
#define OVTEST_ABI OV_PACKAGE_ABI_VERSION
#endif

namespace {

void log(const char *Line)
{
    const char *path = std::getenv("OV_TEST_PACKAGE_LOG");
    if (!path)
        return;
    if (FILE *f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", Line);
        std::fclose(f);
    }
}

void initA()
{
    log("init UnitA");
}
void finiA()
{
    log("fini UnitA");
}
void initB()
{
    log("init UnitB");
#ifdef OVTEST_FAIL_IN_INIT
    throw std::runtime_error("UnitB cannot start");
#endif
}
void finiB()
{
    log("fini UnitB");
#ifdef OVTEST_FAIL_IN_FINI
    throw Exception(QStringLiteral("UnitB cannot stop"));
#endif
}
void initC()
{
    log("init UnitC");
}

const char *const Requires[] = {"rtl240", "dcldb240", nullptr};

const OvUnitInfo Units[] = {
    {"UnitA", initA, finiA},
    {"UnitB", initB, finiB},
    {"UnitC", initC, nullptr},
};

const OvPackageInfo Info = {
    OVTEST_ABI, OVTEST_PACKAGE_NAME, "Loader test package", 1, Requires, 3, Units,
};

} // namespace

extern "C" OV_PACKAGE_EXPORT const OvPackageInfo *OvGetPackageInfo()
{
    return &Info;
}

extern "C" OV_PACKAGE_EXPORT void Register()
{
    log("Register");
    RegisterComponents("LoaderTest", {&QTimer::staticMetaObject});
#ifdef OVTEST_FAIL_IN_REGISTER
    throw std::runtime_error("Register gave up");
#endif
    RegisterComponentEditor(&QTimer::staticMetaObject, componentEditorClass<TComponentEditor>());
}
