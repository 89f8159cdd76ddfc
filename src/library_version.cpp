// The version of the library that is loaded, which a program built against
// another header can compare with its ZORVAT_VERSION.
#include "zorvat.h"

extern "C" uint32_t ZvGetLibraryVersion(void) { return ZORVAT_VERSION; }
