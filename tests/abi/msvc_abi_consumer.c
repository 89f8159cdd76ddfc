/* A program for Microsoft's ABI (clang --target=x86_64-pc-windows-msvc and
 * lld-link) that has no C runtime at all, so that it links Zorvat.dll through
 * Zorvat.lib and nothing else: a direct operation, then a login, an operation
 * in the session and a logout, against 127.0.0.1 at the port that ends its
 * command line. Exits 0 when every call succeeded. */
#include "zorvat.h"

__declspec(dllimport) void* __stdcall GetStdHandle(uint32_t handle);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, uint32_t size,
                                              uint32_t* written, void* overlapped);
__declspec(dllimport) const char* __stdcall GetCommandLineA(void);
__declspec(dllimport) void __stdcall ExitProcess(uint32_t code);

static void say(const char* text) {
    uint32_t size = 0, written = 0;
    while (text[size] != '\0') ++size;
    WriteFile(GetStdHandle((uint32_t)-11 /* standard output */), text, size, &written, 0);
}

static int succeeded(const char* what, char* answer, char* message) {
    say(what);
    say(answer != 0 ? ": ok\n" : ": failed: ");
    if (answer == 0) say(message != 0 ? message : "(no message)\n");
    ZvFreeMemory(answer);
    ZvFreeMemory(message);
    return answer != 0;
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
    int ok = succeeded("direct", ZvExecuteDirectOperation(&message, options, 2, "msvc", 1, 1, 0),
                       message);
    ok = succeeded("login", ZvExecutePersistentOperation(&message, &session, 1, "", 1, 1, 0),
                   message) &&
         session != record && ok;
    if (session != record) {
        ok =
            succeeded("in session",
                      ZvExecutePersistentOperation(&message, &session, 2, "x", 1, 1, 0), message) &&
            ok;
        ok = succeeded("logout", ZvExecutePersistentOperation(&message, &session, 8, "", 1, 1, 0),
                       message) &&
             ok;
        ZvFreeMemory(session);
    }
    ZvFreeMemory(record);
    ZvFreeMemory(options);
    ExitProcess(ok ? 0 : 1);
}
