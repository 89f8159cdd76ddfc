/* COUNT direct operations in flight at once on one thread, waited for with
 * one poll(2), against a server that holds each answer back (run by
 * operations_in_flight.sh). Prints one line of figures:
 *   wall time, operations per second, failures, threads and descriptors
 *   (at the start, at the peak, at the end), client CPU per operation, and
 *   the CPU per operation of BLOCKING calls made one after another;
 * with --ticker, also the lag of a 1 ms ticker driven by the same loop
 * (p50, p99, max). The ticker wakes poll every millisecond, which costs a
 * scan of every socket each time, so the CPU figure comes from a run without.
 * Linux only: threads and descriptors are counted in /proc/self.
 * Usage: zorvat_operations_in_flight HOST PORT COUNT BLOCKING [--ticker] */
#define _GNU_SOURCE
#include <dirent.h>
#include <math.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

#include "zorvat.h"

#define CONNECT_TIMEOUT_MS 10000
#define IO_TIMEOUT_MS 30000
#define SAMPLE_EVERY_MS 50.0
#define NO_DEADLINE INFINITY

static double clock_ms(clockid_t clock) {
    struct timespec now;
    clock_gettime(clock, &now);
    return (double)now.tv_sec * 1e3 + (double)now.tv_nsec / 1e6;
}

static int count_entries(const char* folder) {
    DIR* listing = opendir(folder);
    int count = 0;
    if (listing == NULL) {
        return -1;
    }
    for (struct dirent* entry; (entry = readdir(listing)) != NULL;) {
        count += entry->d_name[0] != '.';
    }
    closedir(listing);
    return count - (strcmp(folder, "/proc/self/fd") == 0); /* the listing's own */
}

typedef struct {
    int threads;
    int descriptors;
} Counts;

static Counts counts(void) {
    Counts now = {count_entries("/proc/self/task"), count_entries("/proc/self/fd")};
    return now;
}

static void keep_peak(Counts* peak, Counts now) {
    peak->threads = now.threads > peak->threads ? now.threads : peak->threads;
    peak->descriptors = now.descriptors > peak->descriptors ? now.descriptors : peak->descriptors;
}

static int compare_doubles(const void* a, const void* b) {
    double x = *(const double*)a;
    double y = *(const double*)b;
    return (x > y) - (x < y);
}

typedef struct {
    ZvOperation* operation;
    double deadline; /* monotonic ms at which to poll, event or not */
} Slot;

/* Polls slot i and updates its entry in the poll set; returns 1 when the
 * operation finished and failed. */
static int poll_slot(Slot* slots, struct pollfd* watched, size_t i, size_t* running, double now) {
    Slot* slot = &slots[i];
    int32_t wants = ZvPollOperation(slot->operation);
    if (wants == ZV_OPERATION_DONE) {
        char* message = NULL;
        char* answer = ZvFinishOperation(slot->operation, &message, NULL);
        int failed = answer == NULL;
        if (failed) {
            fprintf(stderr, "operation %zu: %s\n", i, message ? message : "(no message)");
        }
        ZvFreeMemory(answer);
        ZvFreeMemory(message);
        slot->operation = NULL;
        watched[i].fd = -1;
        --*running;
        return failed;
    }
    uint32_t dueMs = ZvGetOperationTimeout(slot->operation);
    slot->deadline = dueMs == 0xFFFFFFFFu ? NO_DEADLINE : now + dueMs;
    watched[i].fd = (int)ZvGetOperationSocket(slot->operation);
    watched[i].events = wants == ZV_OPERATION_WANTS_READ ? POLLIN : POLLOUT;
    if (watched[i].fd < 0) {
        slot->deadline = now; /* nothing to watch: poll again in the next round */
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 5 && !(argc == 6 && strcmp(argv[5], "--ticker") == 0)) {
        fprintf(stderr, "usage: %s HOST PORT COUNT BLOCKING [--ticker]\n", argv[0]);
        return 2;
    }
    size_t count = strtoul(argv[3], NULL, 10);
    unsigned blocking = (unsigned)strtoul(argv[4], NULL, 10);
    int ticker = argc == 6;
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    char* options =
        ZvCreateCredentialOptions(argv[1], "ACCOUNT", atoi(argv[2]), "alice", "secret", "", "");
    Slot* slots = calloc(count, sizeof *slots);
    struct pollfd* watched = calloc(count, sizeof *watched);
    size_t lagCapacity = 1 << 16;
    size_t lags = 0;
    double* lag = malloc(lagCapacity * sizeof *lag);
    if (options == NULL || count == 0 || slots == NULL || watched == NULL || lag == NULL) {
        fputs("COUNT must be above 0, and memory enough\n", stderr);
        return 1;
    }

    /* The blocking call, one after another, for the CPU it costs. */
    double blockingCpu = 0;
    for (unsigned i = 0; i < blocking; ++i) {
        char* message = NULL;
        double before = clock_ms(CLOCK_PROCESS_CPUTIME_ID);
        char* answer = ZvExecuteDirectOperationWithTimeouts(
            &message, options, 20, "CUSTOMERS", 1, 1, 0, CONNECT_TIMEOUT_MS, IO_TIMEOUT_MS, NULL);
        blockingCpu += clock_ms(CLOCK_PROCESS_CPUTIME_ID) - before;
        if (answer == NULL) {
            fprintf(stderr, "blocking call: %s\n", message ? message : "(no message)");
            return 1;
        }
        ZvFreeMemory(answer);
        ZvFreeMemory(message);
    }

    Counts start = counts();
    Counts peak = start;
    double sampledCpu = 0; /* spent counting, left out of the client's CPU */
    double startWall = clock_ms(CLOCK_MONOTONIC);
    double startCpu = clock_ms(CLOCK_PROCESS_CPUTIME_ID);
    size_t running = 0;
    size_t failed = 0;
    for (size_t i = 0; i < count; ++i) {
        slots[i].operation = ZvStartDirectOperation(options, 20, "CUSTOMERS", 1, 1, 0,
                                                    CONNECT_TIMEOUT_MS, IO_TIMEOUT_MS);
        if (slots[i].operation == NULL) {
            fputs("out of memory\n", stderr);
            return 1;
        }
        ++running;
        failed += poll_slot(slots, watched, i, &running, clock_ms(CLOCK_MONOTONIC));
    }

    double nextTick = clock_ms(CLOCK_MONOTONIC) + 1;
    double nextSample = startWall + SAMPLE_EVERY_MS;
    while (running > 0) {
        double now = clock_ms(CLOCK_MONOTONIC);
        if (ticker && now >= nextTick) {
            if (lags == lagCapacity) {
                lag = realloc(lag, (lagCapacity *= 2) * sizeof *lag);
                if (lag == NULL) {
                    return 1;
                }
            }
            lag[lags++] = now - nextTick;
            nextTick = now + 1;
        }
        if (now >= nextSample) {
            double before = clock_ms(CLOCK_PROCESS_CPUTIME_ID);
            keep_peak(&peak, counts());
            sampledCpu += clock_ms(CLOCK_PROCESS_CPUTIME_ID) - before;
            nextSample = now + SAMPLE_EVERY_MS;
        }
        double until = ticker ? nextTick : nextSample;
        for (size_t i = 0; i < count; ++i) {
            if (slots[i].operation != NULL && slots[i].deadline < until) {
                until = slots[i].deadline;
            }
        }
        int timeout = until <= now ? 0 : (int)ceil(until - now);
        if (poll(watched, count, timeout) < 0) {
            perror("poll");
            return 1;
        }
        now = clock_ms(CLOCK_MONOTONIC);
        for (size_t i = 0; i < count; ++i) {
            if (slots[i].operation != NULL &&
                (watched[i].revents != 0 || slots[i].deadline <= now)) {
                failed += poll_slot(slots, watched, i, &running, now);
            }
        }
    }
    double wall = clock_ms(CLOCK_MONOTONIC) - startWall;
    double cpu = clock_ms(CLOCK_PROCESS_CPUTIME_ID) - startCpu - sampledCpu;
    Counts end = counts();
    keep_peak(&peak, end);

    printf(
        "C poll      %6zu ops  wall %7.0f ms  %7.0f ops/s  failed %zu  threads %d/%d/%d"
        "  descriptors %d/%d/%d  CPU/op %.1f us, blocking %.1f us (%.2fx)",
        count, wall, count / wall * 1e3, failed, start.threads, peak.threads, end.threads,
        start.descriptors, peak.descriptors, end.descriptors, cpu / count * 1e3,
        blocking ? blockingCpu / blocking * 1e3 : NAN,
        blocking ? (cpu / count) / (blockingCpu / blocking) : NAN);
    if (ticker && lags > 0) {
        qsort(lag, lags, sizeof *lag, compare_doubles);
        printf("  lag p50 %.1f p99 %.1f max %.1f ms", lag[lags / 2], lag[lags * 99 / 100],
               lag[lags - 1]);
    }
    putchar('\n');
    free(lag);
    free(watched);
    free(slots);
    ZvFreeMemory(options);
    return failed == 0 ? 0 : 1;
}
