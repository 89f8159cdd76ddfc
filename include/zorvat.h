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
 * Threads: the library keeps no shared state; every function may be called on
 * any number of threads at once.
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
#define ZORVAT_VERSION_MINOR 1
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
