/* Operations on a server from C: one direct operation, then a session (a
 * login, an operation inside it, the logout), with every answer printed item
 * by item and every failure reported with the library's message.
 * Usage: zorvat_operations_tour HOST PORT   (e.g. against zorvat-server) */
#include <stdio.h>
#include <stdlib.h>

#include "zorvat.h"

#define ARG "\x1F"

/* Prints text with the argument and sub-item separators as \A and \S and
 * other control bytes as \xHH: a server's text is not for the terminal as
 * it stands. */
static void print_visible(const char* text) {
    for (const unsigned char* c = (const unsigned char*)text; *c != '\0'; ++c) {
        if (*c == ZV_ARGUMENT_SEPARATOR) {
            fputs("\\A", stdout);
        } else if (*c == ZV_SUBITEM_SEPARATOR) {
            fputs("\\S", stdout);
        } else if (*c < 0x20 || (*c >= 0x7F && *c <= 0x9F)) {
            printf("\\x%02X", *c);
        } else {
            putchar(*c);
        }
    }
    putchar('\n');
}

/* Prints an answer one item per line; a keyed answer (its first item lists
 * names separated by 0xFE) with the name of each item. */
static void print_answer(const char* title, const char* answer) {
    uint32_t itemCount = 0;
    uint32_t nameCount = 0;
    char** items = ZvStrSplit(answer, ZV_ITEM_SEPARATOR, &itemCount);
    char** names = items == NULL ? NULL : ZvStrSplit(items[0], ZV_SUBITEM_SEPARATOR, &nameCount);
    printf("%s\n", title);
    if (items == NULL || names == NULL) {
        puts("  (out of memory)");
    } else if (nameCount > 1) {
        for (uint32_t i = 1; i < itemCount; ++i) {
            printf("  %-18s ", i < nameCount ? names[i] : "");
            print_visible(items[i]);
        }
    } else {
        for (uint32_t i = 0; i < itemCount; ++i) {
            printf("  [%u] ", (unsigned)i);
            print_visible(items[i]);
        }
    }
    ZvFreeMemoryStringArray(names, nameCount);
    ZvFreeMemoryStringArray(items, itemCount);
}

/* Prints the answer or the failure of one call and releases both; returns
 * whether the call succeeded. */
static int report(const char* title, char* answer, char* message) {
    if (answer == NULL) {
        fprintf(stderr, "%s failed: %s\n", title, message ? message : "(no message)");
    } else {
        print_answer(title, answer);
    }
    ZvFreeMemory(answer);
    ZvFreeMemory(message);
    return answer != NULL;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s HOST PORT\n", argv[0]);
        return 2;
    }
    char* options =
        ZvCreateCredentialOptions(argv[1], "ACCOUNT", atoi(argv[2]), "alice", "secret", "", "");
    char* record = options == NULL ? NULL : ZvCreateConnectionInfo(options, 0);
    if (record == NULL) {
        fputs("out of memory\n", stderr);
        ZvFreeMemory(options);
        return 1;
    }
    char* message = NULL;
    int ok = report("direct operation 2 (output format 3, JSON):",
                    ZvExecuteDirectOperation(&message, options, 2, "CUSTOMERS" ARG "1001", 1, 3, 0),
                    message);

    /* A successful login replaces the record pointer with a new record that
     * holds the session; the one passed in stays ours to release. */
    char* session = record;
    ok = report("login:", ZvExecutePersistentOperation(&message, &session, 1, "", 1, 1, 0),
                message) &&
         ok;
    if (session != record) {
        ok = report("operation 20 inside the session:",
                    ZvExecutePersistentOperation(&message, &session, 20, "CUSTOMERS" ARG "1001", 1,
                                                 1, 0),
                    message) &&
             ok;
        ok = report("logout:", ZvExecutePersistentOperation(&message, &session, 8, "", 1, 1, 0),
                    message) &&
             ok;
        ZvFreeMemory(session);
    }
    ZvFreeMemory(record);
    ZvFreeMemory(options);
    return ok ? 0 : 1;
}
