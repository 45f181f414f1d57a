#include "OvAbout.h"

void OvAboutInitialization() {}
void OvAboutFinalization() {}
