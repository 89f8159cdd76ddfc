// What the client's Windows files need from the system: file names in
// UTF-16, its error texts, and the security identifier of the user the
// process runs as.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace zvcli {

// UTF-8, the client's text, to the UTF-16 of Windows' file functions and back.
std::wstring Wide(const std::string& text);
std::string Narrow(const wchar_t* text);

// The system's text for an error code (GetLastError), without its line end.
std::string SystemMessage(DWORD code);

// A kernel handle closed when it goes out of scope.
struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;
// Null for INVALID_HANDLE_VALUE as well, so one test covers both failures.
OwnedHandle Own(HANDLE handle);

// The process's user SID, copied out of its token; empty on failure.
std::vector<unsigned char> CurrentUserSid();

// The SID in its S-1-5-... form, for messages and security descriptors.
std::string SidText(PSID sid);

}  // namespace zvcli
