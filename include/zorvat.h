/*
 * zorvat.h - the public interface of the Zorvat client transport library.
 *
 * Every string that crosses this interface is a zero-terminated 8-bit string in
 * ISO-8859-15. Structured values travel as one string whose items are separated
 * by single bytes: 0x1C between the items of a record and of an answer, 0x1F
 * between the arguments of an operation, 0xFE between sub-items.
 *
 * Ownership: every string and string array that a function returns is newly
 * allocated by the library and belongs to the caller, who releases it with
 * ZvFreeMemory (strings) or ZvFreeMemoryStringArray (string arrays, with their
 * count). No function changes or releases a string that the caller passed in.
 *
 * Failures: the string and record functions report a failure by a null result.
 * The two operation functions return null and hand back a message through
 * their errorMessage parameter. No function prints, aborts or throws.
 *
 * Threads: every function may be called on any number of threads at once.
 * The library keeps no state between calls but for a few threads of its own
 * that resolve host names for the operations (started when a name first
 * needs them, ended after a few idle seconds; numeric addresses need none).
 */
#ifndef ZORVAT_H
#define ZORVAT_H

#include <stdint.h>

/*
 * The library's version. CMake reads it from these lines, so they are the one
 * place it is set. ZORVAT_VERSION is major * 10000 + minor * 100 + patch, the
 * number ZvGetLibraryVersion returns for the library actually loaded.
 */
#define ZORVAT_VERSION_MAJOR 1
#define ZORVAT_VERSION_MINOR 2
#define ZORVAT_VERSION_PATCH 0
#define ZORVAT_VERSION \
    (ZORVAT_VERSION_MAJOR * 10000 + ZORVAT_VERSION_MINOR * 100 + ZORVAT_VERSION_PATCH)

#if defined(_WIN32)
#if defined(ZORVAT_BUILDING_LIBRARY)
#define ZV_API __declspec(dllexport)
#elif defined(ZORVAT_STATIC)
#define ZV_API
#else
#define ZV_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define ZV_API __attribute__((visibility("default")))
#else
#define ZV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Separator bytes of records, answers and operation arguments. */
#define ZV_ITEM_SEPARATOR 0x1C
#define ZV_ARGUMENT_SEPARATOR 0x1F
#define ZV_SUBITEM_SEPARATOR 0xFE

/* Item counts of the two records. */
#define ZV_CREDENTIAL_OPTIONS_ITEMS 8
#define ZV_CONNECTION_INFO_ITEMS 12

/* ---- Operations -------------------------------------------------------- */

/*
 * Runs one operation outside any session, described by a credential-options
 * record: agrees a fresh key with the server, sends the request and returns
 * the server's answer. On failure returns null and stores a new message in
 * *errorMessage ("Cnnn: text", the server's refusal, or the server's error
 * text). errorMessage may be null when the caller does not want the message.
 */
ZV_API char* ZvExecuteDirectOperation(char** errorMessage, const char* credentialOptions,
                                      uint8_t operationCode, const char* operationArguments,
                                      uint8_t inputFormat, uint8_t outputFormat,
                                      uint32_t reservedValue);

/*
 * Runs one operation inside the session held by a connection-info record.
 * Operation code 1 logs in: on success *connectionInfo is replaced by a new
 * record holding the session (the old string stays the caller's). Code 8 logs
 * out and leaves the record as it is. Any other code runs inside the session.
 */
ZV_API char* ZvExecutePersistentOperation(char** errorMessage, char** connectionInfo,
                                          uint8_t operationCode, const char* operationArguments,
                                          uint8_t inputFormat, uint8_t outputFormat,
                                          uint32_t reservedValue);

/*
 * The two functions above with bounds on how long they may wait, and a way
 * to stop them from another thread. ZvExecuteDirectOperation and
 * ZvExecutePersistentOperation are these with 0, 0, NULL.
 *
 * connectTimeoutMs: the longest the set-up of one connection may take, name
 *   resolution and every address of the host together. An operation opens
 *   one or two connections (the key negotiation has one of its own); each
 *   gets the whole budget. 0: no limit. A name is resolved on one of the
 *   library's threads while the call waits on its own terms, so the limit
 *   bounds the resolution too: a resolver that hangs holds that thread (the
 *   system's own time-outs end it), never the call.
 * ioTimeoutMs: the longest any one wait for the server to take or deliver
 *   the next bytes may last, anywhere in the key negotiation or the
 *   exchange. It is a limit on inactivity, not on the whole call: an answer
 *   that keeps arriving is never cut off. 0: no limit.
 * cancelFlag: NULL, or a 32-bit integer that another thread may set to
 *   non-zero at any time (the library reads it atomically and never writes
 *   it). The call then stops at its current wait within 100 ms; a flag
 *   already set stops it before it connects.
 *
 * A call that times out or is cancelled closes everything it opened, leaves
 * *connectionInfo as it was, returns null and gives one of:
 *   "C105: Timed out connecting to server"   no address of the server
 *       connected and at least one attempt ran out of time;
 *   "C407: Timed out waiting for the server"  a wait of the negotiation or
 *       the exchange, sending or receiving, ran past ioTimeoutMs;
 *   "C408: Operation cancelled".
 * Once the request has been sent, a time-out or a cancellation does not say
 * whether the server ran the operation: it may have, and its answer is lost.
 * An operation that must not run twice is to be checked before it is sent
 * again.
 *
 * Every connection, with or without limits, sends TCP keepalive probes once
 * it has been idle for 60 s, every 10 s, and gives up after 6 unanswered ones
 * (where the platform lets these values be set): a server host that vanished
 * from the network is noticed in about two minutes. A server that is up but
 * slow answers the probes and is never cut off by them.
 */
ZV_API char* ZvExecuteDirectOperationWithTimeouts(char** errorMessage,
                                                  const char* credentialOptions,
                                                  uint8_t operationCode,
                                                  const char* operationArguments,
                                                  uint8_t inputFormat, uint8_t outputFormat,
                                                  uint32_t reservedValue, uint32_t connectTimeoutMs,
                                                  uint32_t ioTimeoutMs, const int32_t* cancelFlag);
ZV_API char* ZvExecutePersistentOperationWithTimeouts(
    char** errorMessage, char** connectionInfo, uint8_t operationCode,
    const char* operationArguments, uint8_t inputFormat, uint8_t outputFormat,
    uint32_t reservedValue, uint32_t connectTimeoutMs, uint32_t ioTimeoutMs,
    const int32_t* cancelFlag);

/* ---- Operations that the caller's event loop drives --------------------- */

/*
 * The same operations as above, split so that the caller's own event loop
 * (poll, epoll, asyncio, libuv, a .NET task scheduler) does the waiting. The
 * blocking functions above are a loop over these same steps.
 *
 *   ZvOperation* op = ZvStartDirectOperation(options, 2, "CUSTOMERS", 1, 1, 0, 5000, 30000);
 *   int32_t wanted;
 *   while ((wanted = ZvPollOperation(op)) != ZV_OPERATION_DONE) {
 *       wait until ZvGetOperationSocket(op) is readable (ZV_OPERATION_WANTS_READ)
 *       or writable (ZV_OPERATION_WANTS_WRITE), or ZvGetOperationTimeout(op)
 *       milliseconds have passed, whichever comes first;
 *   }
 *   char* answer = ZvFinishOperation(op, &message, NULL);
 *
 * An operation is used by one thread at a time; different operations are
 * independent of each other and may run on any threads.
 */
typedef struct ZvOperation ZvOperation; /* opaque */

#define ZV_OPERATION_DONE 0
#define ZV_OPERATION_WANTS_READ 1
#define ZV_OPERATION_WANTS_WRITE 2

/*
 * Starts an operation and returns at once: it neither connects nor waits for
 * the name resolver. The strings are copied, so the caller may release them
 * as soon as the call returns. The limits mean what they mean for the
 * ...WithTimeouts functions. Returns null only when memory runs out; a fault
 * in the record or the arguments is reported by ZvFinishOperation once
 * ZvPollOperation has answered ZV_OPERATION_DONE.
 */
ZV_API ZvOperation* ZvStartDirectOperation(const char* credentialOptions, uint8_t operationCode,
                                           const char* operationArguments, uint8_t inputFormat,
                                           uint8_t outputFormat, uint32_t reservedValue,
                                           uint32_t connectTimeoutMs, uint32_t ioTimeoutMs);
ZV_API ZvOperation* ZvStartPersistentOperation(const char* connectionInfo, uint8_t operationCode,
                                               const char* operationArguments, uint8_t inputFormat,
                                               uint8_t outputFormat, uint32_t reservedValue,
                                               uint32_t connectTimeoutMs, uint32_t ioTimeoutMs);

/*
 * Does all the work that can be done now without waiting (it tries to send
 * or receive before it asks to wait) and answers what the operation waits
 * for next: ZV_OPERATION_WANTS_READ, ZV_OPERATION_WANTS_WRITE or
 * ZV_OPERATION_DONE. Past a limit it answers ZV_OPERATION_DONE and the
 * operation has failed with C105 or C407. Large payloads are encrypted and
 * converted in slices of about 1 MiB, so one call holds its thread only
 * briefly; a call that returns with work still to do answers
 * ZV_OPERATION_WANTS_WRITE on a descriptor that is ready at once. A null or
 * finished operation answers ZV_OPERATION_DONE.
 */
ZV_API int32_t ZvPollOperation(ZvOperation* operation);

/*
 * The descriptor to watch for the event ZvPollOperation asked for (a SOCKET
 * on Windows, widened to 64 bits), or -1 when there is none. It changes
 * during an operation (the next address of a host, the second connection of
 * a direct operation, the resolver's wake-up): read it again after every
 * poll. The library closes descriptors it no longer needs, and the system
 * may hand the same number to the next socket that anybody opens: an event
 * loop that still watches a descriptor after the poll that replaced it may
 * be woken by somebody else's socket, or have its registration dropped when
 * the number is closed. Remove the watch before every poll and add the one
 * the poll asks for after it.
 */
ZV_API int64_t ZvGetOperationSocket(const ZvOperation* operation);

/*
 * Milliseconds until the operation's next limit falls due: poll then, event
 * or not. 0xFFFFFFFF when no limit applies (an operation started without
 * limits, a null or a finished one); otherwise 0 before the first poll and
 * while work is left that goes on at once (its descriptor is then writable
 * at once as well).
 */
ZV_API uint32_t ZvGetOperationTimeout(const ZvOperation* operation);

/*
 * Releases the operation and everything it holds, and returns what the
 * blocking call would: the answer (release with ZvFreeMemory), or null with
 * a new message in *errorMessage (errorMessage may be null). For a login
 * (operation code 1) that succeeded, *connectionInfo receives the new record
 * that the blocking call would have left in its in/out argument (release it
 * with ZvFreeMemory); it is not touched otherwise (every other operation
 * leaves the caller's record as it is), and connectionInfo may be null when
 * the caller does not want the record. Finishing an operation before
 * ZvPollOperation answered ZV_OPERATION_DONE cancels it: whatever it opened
 * is closed at once and it gives "C408: Operation cancelled". Finishing null
 * returns null and sets *errorMessage to null.
 */
ZV_API char* ZvFinishOperation(ZvOperation* operation, char** errorMessage, char** connectionInfo);

/* ---- Connection-info record (12 items) ---------------------------------- */

ZV_API char* ZvCreateConnectionInfo(const char* credentialOptions, int32_t reservedValue);
ZV_API char* ZvChangeConnectionInfo(const char* connectionInfo, uint32_t index, const char* value);
/* Returns the 12 items; release with ZvFreeMemoryStringArray(array, 12). */
ZV_API char** ZvExtractAllDataFromConnectionInfo(const char* connectionInfo);
ZV_API char* ZvExtractDataFromConnectionInfo(const char* connectionInfo, uint32_t index);

/* ---- Credential-options record (8 items) -------------------------------- */

ZV_API char* ZvCreateCredentialOptions(const char* host, const char* credentialItem1, int32_t port,
                                       const char* credentialItem3, const char* credentialItem4,
                                       const char* credentialItem5, const char* credentialItem6);
ZV_API char* ZvCreateCredentialOptionsPlugin(const char* host, const char* credentialItem1,
                                             int32_t port, const char* credentialItem3,
                                             const char* credentialItem4,
                                             const char* credentialItem5,
                                             const char* credentialItem6, const char* plugin);
/* Returns the 8 items; release with ZvFreeMemoryStringArray(array, 8). */
ZV_API char** ZvExtractAllDataFromCredentialOptions(const char* credentialOptions);
ZV_API char* ZvExtractDataFromCredentialOptions(const char* credentialOptions, uint32_t index);

/* ---- String toolkit and release ----------------------------------------- */

/* Splits text at every separator byte; *count receives the number of items. */
ZV_API char** ZvStrSplit(const char* text, uint8_t separator, uint32_t* count);
/* Joins count items with the separator string; null when count is 0. */
ZV_API char* ZvStrJoin(char* const* items, uint32_t count, const char* separator);
ZV_API char* ZvExtractFromSplit(const char* text, uint8_t separator, uint32_t index);
/* first + separator + second; a null argument counts as the empty string. */
ZV_API char* ZvCatString(const char* first, const char* second, const char* separator);
/* Looks up the item that the key list (the first item) names key. */
ZV_API char* ZvExtractData(const char* data, const char* key, uint8_t itemSeparator,
                           uint8_t keySeparator);
ZV_API void ZvFreeMemory(void* block);
ZV_API void ZvFreeMemoryStringArray(char** array, uint32_t count);
ZV_API void WrapperPy_ZvFreeMemoryStringArray(char** array, uint32_t count);

/* ---- Version ------------------------------------------------------------ */

/*
 * The version of the library that is loaded, as ZORVAT_VERSION gives it for
 * the header a program was built with: a program can compare the two.
 */
ZV_API uint32_t ZvGetLibraryVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* ZORVAT_H */
