#include "OvPackage.h"

#include "OvAbout.h"
#include "OvDesignSettings.h"
#include "OvReg.h"
#include "OvUpdSEd.h"

#include "designide/PackageInfo.h"
#include "orvlib/OvVersionInfo.h"

#include <QByteArray>

OV_VERSION_INFO("6.5.3.0", "6.5.3.0", "Orvanta Library", "DCLORV240", "Orvanta Components");

namespace {

const char *const RequiredPackages[] = {"OrvLib240", "dcldb240", "rtl240", nullptr};

// Initialization order; finalization runs in reverse.
const OvUnitInfo Units[] = {
    {"OvAbout", OvAboutInitialization, OvAboutFinalization},
    {"OvUpdSEd", OvUpdSEdInitialization, OvUpdSEdFinalization},
    {"OvReg", OvRegInitialization, OvRegFinalization},
};

const OvPackageInfo PackageInfo = {
    OV_PACKAGE_ABI_VERSION,
    "DclOrv240",
    "Orvanta Components",
    1, // design-time only
    RequiredPackages,
    sizeof(Units) / sizeof(Units[0]),
    Units,
};

} // namespace

const OvPackageInfo *OvGetPackageInfo()
{
    return &PackageInfo;
}

const char *OvDesignSettingsFileName()
{
    static QByteArray name;
    if (!DesignSettings)
        return nullptr;
    name = DesignSettings->IniFileName().toUtf8();
    return name.constData();
}

const char *OvDesignSettingsNotice()
{
    static QByteArray notice;
    if (!DesignSettings)
        return nullptr;
    const QString text = DesignSettings->Notice();
    if (text.isEmpty())
        return nullptr;
    notice = text.toUtf8();
    return notice.constData();
}
