/* A C99 caller: builds the records, reads them back and releases everything
 * with the library's own functions. Exits non-zero on any surprise. */
#include <stdio.h>
#include <string.h>

#include "zorvat.h"

static int failures = 0;

static void expect(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

int main(void) {
    char* options = ZvCreateCredentialOptions("localhost", "u", 7000, "a", "b", "c", "d");
    char* info = ZvCreateConnectionInfo(options, -1);
    char** items = ZvExtractAllDataFromConnectionInfo(info);
    uint32_t count = 0;
    char** parts = ZvStrSplit("x\x1Fy", ZV_ARGUMENT_SEPARATOR, &count);
    char* joined = ZvStrJoin(parts, count, "+");
    char* port = ZvExtractDataFromCredentialOptions(options, 2);

    expect(options != NULL && info != NULL, "records built");
    expect(items != NULL && strcmp(items[11], "-1") == 0, "reserved value item");
    expect(count == 2 && joined != NULL && strcmp(joined, "x+y") == 0, "split and join");
    expect(port != NULL && strcmp(port, "7000") == 0, "port item");

    char* message = joined;
    expect(ZvPollOperation(NULL) == ZV_OPERATION_DONE && ZvGetOperationSocket(NULL) == -1 &&
               ZvFinishOperation(NULL, &message, NULL) == NULL && message == NULL,
           "null operation");

    ZvFreeMemory(port);
    ZvFreeMemory(joined);
    ZvFreeMemoryStringArray(parts, count);
    ZvFreeMemoryStringArray(items, ZV_CONNECTION_INFO_ITEMS);
    ZvFreeMemory(info);
    ZvFreeMemory(options);
    return failures == 0 ? 0 : 1;
}
