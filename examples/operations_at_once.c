/* COUNT direct operations at once on one thread: each operation is started
 * (which returns at once), and one poll(2) (WSAPoll on Windows) waits on the
 * sockets of all of them. An operation is polled again when its socket is
 * ready or its time limit falls due, and finished when it is done. Every
 * answer is checked against the arguments sent with it.
 * Usage: zorvat_operations_at_once HOST PORT [COUNT]   (e.g. against zorvat-server) */
#ifdef _WIN32
#define _WIN32_WINNT 0x0600 /* WSAPoll */
#include <winsock2.h>
#define poll WSAPoll
typedef SOCKET WatchedSocket;
#else
#include <poll.h>
typedef int WatchedSocket;
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zorvat.h"

#define ARG "\x1F"
#define DEFAULT_COUNT 100
#define CONNECT_TIMEOUT_MS 5000
#define IO_TIMEOUT_MS 30000
/* How long to wait before polling an operation that names no socket. */
#define RETRY_WITHOUT_SOCKET_MS 10

typedef struct {
    ZvOperation* operation; /* null once finished */
    int32_t wants;
    char arguments[32];
} Slot;

/* Finishes a done operation; returns whether its answer carries its own
 * arguments back. */
static int finish(Slot* slot) {
    char* message = NULL;
    char* answer = ZvFinishOperation(slot->operation, &message, NULL);
    slot->operation = NULL;
    char* echoed = answer == NULL ? NULL : ZvExtractData(answer, "ARGUMENTS", 0x1C, 0xFE);
    int ok = echoed != NULL && strcmp(echoed, slot->arguments) == 0;
    if (answer == NULL) {
        fprintf(stderr, "operation %s failed: %s\n", slot->arguments,
                message ? message : "(no message)");
    } else if (!ok) {
        fprintf(stderr, "operation %s got another answer\n", slot->arguments);
    }
    ZvFreeMemory(echoed);
    ZvFreeMemory(answer);
    ZvFreeMemory(message);
    return ok;
}

/* Polls one operation; returns 1 when it finished and failed, else 0. */
static int poll_operation(Slot* slot, size_t* running) {
    slot->wants = ZvPollOperation(slot->operation);
    if (slot->wants != ZV_OPERATION_DONE) {
        return 0;
    }
    --*running;
    return !finish(slot);
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: %s HOST PORT [COUNT]\n", argv[0]);
        return 2;
    }
    size_t count = argc == 4 ? strtoul(argv[3], NULL, 10) : DEFAULT_COUNT;
#ifdef _WIN32
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
        fputs("Windows Sockets did not start\n", stderr);
        return 1;
    }
#endif
    char* options =
        ZvCreateCredentialOptions(argv[1], "ACCOUNT", atoi(argv[2]), "alice", "secret", "", "");
    Slot* slots = calloc(count, sizeof *slots);
    struct pollfd* watched = calloc(count, sizeof *watched);
    size_t* watchedSlot = calloc(count, sizeof *watchedSlot);
    if (options == NULL || count == 0 || slots == NULL || watched == NULL || watchedSlot == NULL) {
        fputs(count == 0 ? "COUNT must be a number above 0\n" : "out of memory\n", stderr);
        return 1;
    }

    /* Starting never waits: the connections are made by the polls. */
    size_t running = 0;
    size_t failed = 0;
    for (size_t i = 0; i < count; ++i) {
        snprintf(slots[i].arguments, sizeof slots[i].arguments, "CUSTOMERS" ARG "%zu", i);
        slots[i].operation = ZvStartDirectOperation(options, 20, slots[i].arguments, 1, 1, 0,
                                                    CONNECT_TIMEOUT_MS, IO_TIMEOUT_MS);
        if (slots[i].operation == NULL) {
            fputs("out of memory\n", stderr);
            return 1;
        }
        ++running;
        failed += poll_operation(&slots[i], &running);
    }

    while (running > 0) {
        /* The socket (and the event) of an operation may change at every
         * poll, so the set is made afresh each round; the wait ends at the
         * earliest limit of any operation. */
        size_t watching = 0;
        uint32_t waitMs = 0xFFFFFFFFu;
        for (size_t i = 0; i < count; ++i) {
            if (slots[i].operation == NULL) {
                continue;
            }
            int64_t socket = ZvGetOperationSocket(slots[i].operation);
            uint32_t dueMs = ZvGetOperationTimeout(slots[i].operation);
            if (socket < 0 && dueMs > RETRY_WITHOUT_SOCKET_MS) {
                dueMs = RETRY_WITHOUT_SOCKET_MS;
            }
            if (dueMs < waitMs) {
                waitMs = dueMs;
            }
            if (socket >= 0) {
                watched[watching].fd = (WatchedSocket)socket;
                watched[watching].events =
                    slots[i].wants == ZV_OPERATION_WANTS_READ ? POLLIN : POLLOUT;
                watched[watching].revents = 0;
                watchedSlot[watching++] = i;
            }
        }
        int timeout = waitMs > 0x7FFFFFFFu ? -1 : (int)waitMs;
        if (poll(watched, (unsigned long)watching, timeout) < 0) {
            perror("poll");
            return 1;
        }
        /* Polled again: the operations whose socket is ready (or failed),
         * those whose limit fell due, and those that named no socket. */
        for (size_t w = 0; w < watching; ++w) {
            if (watched[w].revents != 0) {
                failed += poll_operation(&slots[watchedSlot[w]], &running);
            }
        }
        for (size_t i = 0; i < count; ++i) {
            ZvOperation* operation = slots[i].operation;
            if (operation != NULL &&
                (ZvGetOperationTimeout(operation) == 0 || ZvGetOperationSocket(operation) < 0)) {
                failed += poll_operation(&slots[i], &running);
            }
        }
    }
    printf("%zu operations at once on one thread: %zu answered right, %zu failed\n", count,
           count - failed, failed);
    free(watchedSlot);
    free(watched);
    free(slots);
    ZvFreeMemory(options);
#ifdef _WIN32
    WSACleanup();
#endif
    return failed == 0 ? 0 : 1;
}
