#pragma once

#include "OvPackage.h"

class TDesignSettings;

// The package's single settings object: it exists from the initialization of
// this unit to its finalization and is null outside that span.
extern TDesignSettings *DesignSettings;

// Registers the palette classes, property editors, component editors,
// property categories and structure-view node types, in that order. The
// environment calls it once, after the units are initialized.
extern "C" OV_PACKAGE_EXPORT void Register();

// Unit initialization and finalization of OvReg.
void OvRegInitialization();
void OvRegFinalization();
