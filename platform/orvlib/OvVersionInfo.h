#pragma once

// Version information embedded in a module file, read back from the file on
// disk by ReadFileVersInfo (OvCommon.h).
//
// The block is plain text in the ELF section ".ovversion": a magic first line,
// then one key=value line per field, ended by a NUL byte:
//
//     OvVersionInfo/1
//     FileVersion=6.5.3.0
//     ProductVersion=6.5.3.0
//     ProductName=Orvanta Library
//     InternalName=DCLORV240
//     Description=Orvanta Components
//
// Put OV_VERSION_INFO once into one source file of the module, with string
// literals:
//
//     OV_VERSION_INFO("6.5.3.0", "6.5.3.0", "Orvanta Library", "DCLORV240",
//                     "Orvanta Components");
//
// "retain" keeps the block under --gc-sections, "used" keeps it from the
// compiler; the section survives strip.

#define OV_VERSION_INFO_MAGIC "OvVersionInfo/1"
#define OV_VERSION_INFO_SECTION ".ovversion"

#if defined(__clang__) || (defined(__GNUC__) && __GNUC__ >= 11)
#define OV_VERSION_INFO_ATTRIBUTES __attribute__((section(OV_VERSION_INFO_SECTION), used, retain))
#else
#define OV_VERSION_INFO_ATTRIBUTES __attribute__((section(OV_VERSION_INFO_SECTION), used))
#endif

#define OV_VERSION_INFO(FileVersion, ProductVersion, ProductName, InternalName, Description)       \
    OV_VERSION_INFO_ATTRIBUTES static const char ov_version_info_block[]                           \
        = OV_VERSION_INFO_MAGIC "\n"                                                               \
                                "FileVersion=" FileVersion "\n"                                    \
                                "ProductVersion=" ProductVersion "\n"                              \
                                "ProductName=" ProductName "\n"                                    \
                                "InternalName=" InternalName "\n"                                  \
                                "Description=" Description "\n"
