/* A walk through the record functions from C: build a credential-options
 * record, turn it into a connection-info record, change and read items, split
 * and join argument strings, and release everything with the library's own
 * release functions. */
#include <stdio.h>

#include "zorvat.h"

/* The separators as string pieces, for writing records and arguments inline. */
#define ITEM "\x1C"
#define ARG "\x1F"
#define SUB "\xFE"

/* Prints a record string with its separators made visible. */
static void show(const char* label, const char* text) {
    printf("%-28s ", label);
    if (text == NULL) {
        puts("(null)");
        return;
    }
    for (const unsigned char* c = (const unsigned char*)text; *c != '\0'; ++c) {
        switch (*c) {
            case ZV_ITEM_SEPARATOR:
                fputs(" | ", stdout);
                break;
            case ZV_ARGUMENT_SEPARATOR:
                fputs(" ^ ", stdout);
                break;
            case ZV_SUBITEM_SEPARATOR:
                fputs(" ] ", stdout);
                break;
            default:
                putchar(*c);
        }
    }
    putchar('\n');
}

int main(void) {
    puts("Separators are shown as ' | ' (0x1C), ' ^ ' (0x1F) and ' ] ' (0xFE).\n");

    char* options = ZvCreateCredentialOptionsPlugin("db.example.net", "ACCOUNT", 4711, "alice",
                                                    "secret", "SALES", "", "");
    show("credential options:", options);

    char* info = ZvCreateConnectionInfo(options, 0);
    show("connection info:", info);

    char* moved = ZvChangeConnectionInfo(info, 0, "db2.example.net");
    show("host changed:", moved);

    char* port = ZvExtractDataFromConnectionInfo(moved, 2);
    show("item 2 (port):", port);

    char** items = ZvExtractAllDataFromConnectionInfo(moved);
    if (items != NULL) {
        printf("%-28s %s, %s, ... %s\n", "all 12 items:", items[0], items[3], items[11]);
    }

    char* refused = ZvChangeConnectionInfo(moved, 12, "x");
    show("change item 12:", refused);

    uint32_t count = 0;
    char** arguments =
        ZvStrSplit("CUSTOMERS" ARG "1001" SUB "1002" ARG, ZV_ARGUMENT_SEPARATOR, &count);
    printf("%-28s %u items\n", "split arguments:", (unsigned)count);
    char* joined = ZvStrJoin(arguments, count, " / ");
    show("joined with ' / ':", joined);

    char* second = ZvExtractFromSplit("CUSTOMERS" ARG "1001" SUB "1002", ZV_ARGUMENT_SEPARATOR, 1);
    show("argument 1:", second);

    const char* answer = "KEYS" SUB "RECORD_ID" ITEM "r-42";
    char* recordId = ZvExtractData(answer, "RECORD_ID", ZV_ITEM_SEPARATOR, ZV_SUBITEM_SEPARATOR);
    show("RECORD_ID of an answer:", recordId);

    ZvFreeMemory(recordId);
    ZvFreeMemory(second);
    ZvFreeMemory(joined);
    ZvFreeMemoryStringArray(arguments, count);
    ZvFreeMemory(refused);
    ZvFreeMemoryStringArray(items, ZV_CONNECTION_INFO_ITEMS);
    ZvFreeMemory(port);
    ZvFreeMemory(moved);
    ZvFreeMemory(info);
    ZvFreeMemory(options);
    return 0;
}
