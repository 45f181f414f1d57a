#pragma once

// Entry points of the package module, besides Register (OvReg.h).

#include "designide/PackageInfo.h"

extern "C" {
// What the loader needs to know: name, description, kind, required packages
// and the units in initialization order.
OV_PACKAGE_EXPORT const OvPackageInfo *OvGetPackageInfo();
// The ini file the design settings use, while the package is loaded; null
// otherwise. The host shows it to the user.
OV_PACKAGE_EXPORT const char *OvDesignSettingsFileName();
// Why the design settings may not be where the user expects them (the
// registry store or the ini file could not be read) and which ini file is in
// use, while the package is loaded; null when there is nothing to tell. The
// host shows it to the user.
OV_PACKAGE_EXPORT const char *OvDesignSettingsNotice();
}
