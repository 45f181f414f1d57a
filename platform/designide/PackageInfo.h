#pragma once

// What a package module tells the loader about itself, in C layout (plain
// structs, C strings, function pointers) so that it does not depend on how the
// module's C++ was compiled.
//
// A package module exports two entry points:
//
//   extern "C" const OvPackageInfo *OvGetPackageInfo();  its description
//   extern "C" void Register();                         its registrations
//
// The loader reads the description, runs the units' initializations in the
// order given, calls Register once, and at unload runs the finalizations in
// reverse order. Initializations and finalizations may raise C++ exceptions;
// the loader catches them.

#include <stdint.h>

#define OV_PACKAGE_ABI_VERSION 1

// Marks an entry point as exported from a module built with hidden
// visibility; entry points are declared extern "C" besides.
#ifndef OV_PACKAGE_EXPORT
#define OV_PACKAGE_EXPORT __attribute__((visibility("default")))
#endif

typedef void (*OvUnitProc)(void);

struct OvUnitInfo
{
    const char *Name;          // the unit's name
    OvUnitProc Initialization; // may be null
    OvUnitProc Finalization;   // may be null
};

struct OvPackageInfo
{
    uint32_t AbiVersion;         // OV_PACKAGE_ABI_VERSION of the module's build
    const char *Name;            // the package name, e.g. "DclOrv240"
    const char *Description;     // shown by the environment
    int DesignTimeOnly;          // non-zero: not for running applications
    const char *const *Requires; // required package names, ending with a null
    uint32_t UnitCount;          // entries of Units
    const OvUnitInfo *Units;     // in initialization order
};

typedef const OvPackageInfo *(*OvGetPackageInfoProc)(void);
typedef void (*OvRegisterProc)(void);
