// The release functions: every block the library hands out comes from malloc.
#include "strings.hpp"
#include "zorvat.h"

extern "C" {

void ZvFreeMemory(void* block) { std::free(block); }

// Goes by count, not by the terminating null pointer: the caller passes the
// count it was given.
void ZvFreeMemoryStringArray(char** array, uint32_t count) { zv::FreeStringArray(array, count); }

void WrapperPy_ZvFreeMemoryStringArray(char** array, uint32_t count) {
    zv::FreeStringArray(array, count);
}

}  // extern "C"
