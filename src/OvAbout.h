#pragma once

// Unit initialization and finalization of OvAbout; the unit does no work at either.
void OvAboutInitialization();
void OvAboutFinalization();
