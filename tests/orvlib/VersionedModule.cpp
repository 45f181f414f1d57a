// A module for the version-information tests. Built twice: with a version
// block (OV_TEST_WITH_VERSION) and without one.
#include "orvlib/OvVersionInfo.h"

#ifdef OV_TEST_WITH_VERSION
OV_VERSION_INFO("6.5.3.0", "6.5.3.1", "Orvanta Library", "DCLORVTEST", "Orvanta Test Module");
#endif

extern "C" __attribute__((visibility("default"))) int ov_test_module_marker()
{
    return 42;
}
