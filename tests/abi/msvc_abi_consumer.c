/* A program for Microsoft's ABI with no C runtime at all, so that it links
 * Zorvat.dll through Zorvat.lib alone: a direct operation, a login, an
 * operation in the session and a logout against 127.0.0.1 at the port that
 * ends its command line. Exits 0, or the number of the first call that failed. */
#include "zorvat.h"

__declspec(dllimport) const char* __stdcall GetCommandLineA(void);
__declspec(dllimport) void __stdcall ExitProcess(uint32_t code);

static void expect(char* answer, char** message, uint32_t call) {
    ZvFreeMemory(*message);
    *message = 0;
    if (answer == 0) ExitProcess(call);
    ZvFreeMemory(answer);
}

void start(void) {
    const char* end = GetCommandLineA();
    while (*end != '\0') ++end;
    while (end[-1] == ' ') --end;
    int port = 0, scale = 1;
    for (; end[-1] >= '0' && end[-1] <= '9'; --end, scale *= 10) port += (end[-1] - '0') * scale;

    char* options =
        ZvCreateCredentialOptions("127.0.0.1", "ACCOUNT", port, "alice", "secret", "", "");
    char* record = ZvCreateConnectionInfo(options, 0);
    char* session = record;
    char* message = 0;
    expect(ZvExecuteDirectOperation(&message, options, 2, "msvc", 1, 1, 0), &message, 1);
    expect(ZvExecutePersistentOperation(&message, &session, 1, "", 1, 1, 0), &message, 2);
    if (session == record) ExitProcess(2);
    expect(ZvExecutePersistentOperation(&message, &session, 2, "x", 1, 1, 0), &message, 3);
    expect(ZvExecutePersistentOperation(&message, &session, 8, "", 1, 1, 0), &message, 4);
    ZvFreeMemory(session);
    ZvFreeMemory(record);
    ZvFreeMemory(options);
    ExitProcess(0);
}
