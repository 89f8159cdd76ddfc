#include <stdio.h>
#include <string.h>

#include <zorvat.h>

int main(void) {
    char* record = ZvCreateCredentialOptionsPlugin("h", "1", 99, "3", "4", "5", "6", "p");
    char* plugin = ZvExtractDataFromCredentialOptions(record, 7);
    const int ok = plugin != NULL && strcmp(plugin, "p") == 0;
    ZvFreeMemory(plugin);
    ZvFreeMemory(record);
    puts(ok ? "installed library works" : "installed library misbehaves");
    return ok ? 0 : 1;
}
