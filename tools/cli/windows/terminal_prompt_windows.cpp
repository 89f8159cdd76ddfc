// The Windows side of the prompt: the console's own input and output, with
// echo turned off in the input's mode.
#include "../terminal_prompt.hpp"
#include "windows_security.hpp"

namespace zvcli {
namespace {

// What the control handler needs to give the console its echo back.
HANDLE gConsole = nullptr;
DWORD gSaved = 0;

BOOL WINAPI RestoreEcho(DWORD) {
    SetConsoleMode(gConsole, gSaved);
    return FALSE;  // the next handler (by default, ending the process) runs
}

// Echo off for its lifetime; the control handler covers Ctrl+C and closing
// the window, which skip the destructor.
class EchoOff {
public:
    explicit EchoOff(HANDLE console) {
        if (!GetConsoleMode(console, &gSaved)) return;
        gConsole = console;
        SetConsoleCtrlHandler(RestoreEcho, TRUE);
        active_ = SetConsoleMode(console, (gSaved | ENABLE_LINE_INPUT) & ~ENABLE_ECHO_INPUT) != 0;
    }
    ~EchoOff() {
        if (gConsole == nullptr) return;
        SetConsoleMode(gConsole, gSaved);
        SetConsoleCtrlHandler(RestoreEcho, FALSE);
        gConsole = nullptr;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
};

bool Write(HANDLE console, const std::string& text) {
    DWORD count = 0;
    return WriteFile(console, text.data(), static_cast<DWORD>(text.size()), &count, nullptr) != 0;
}

}  // namespace

std::optional<std::string> PromptWithoutEcho(const std::string& prompt, std::string& error) {
    const auto open = [](const char* name) {
        return Own(CreateFileA(name, GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    };
    const OwnedHandle input = open("CONIN$");
    const OwnedHandle output = open("CONOUT$");
    if (!input || !output) {
        error = "no console to ask on: " + SystemMessage(GetLastError());
        return std::nullopt;
    }
    const EchoOff echoOff(input.get());
    if (!echoOff.active()) {
        error = "cannot turn the console's echo off";
        return std::nullopt;
    }
    if (!Write(output.get(), prompt)) {
        error = "cannot write to the console: " + SystemMessage(GetLastError());
        return std::nullopt;
    }
    // Read as UTF-16, whatever the console's code page, and handed on as UTF-8.
    std::wstring text;
    wchar_t c = 0;
    DWORD count = 0;
    bool read = true;
    while ((read = ReadConsoleW(input.get(), &c, 1, &count, nullptr) != 0) && count == 1 &&
           c != L'\n') {
        text += c;
    }
    if (!read) {
        error = "cannot read from the console: " + SystemMessage(GetLastError());
        return std::nullopt;
    }
    Write(output.get(), "\r\n");  // the line end the user typed was not echoed
    if (!text.empty() && text.back() == L'\r') text.pop_back();
    return Narrow(text.c_str());
}

}  // namespace zvcli
