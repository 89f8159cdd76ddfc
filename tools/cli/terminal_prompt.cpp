#include "terminal_prompt.hpp"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace zvcli {
namespace {

// What a signal handler needs to give the terminal its echo back.
int gTerminal = -1;
struct termios gSaved {};
constexpr std::array<int, 4> kSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreAndReraise(int signalNumber) {
    tcsetattr(gTerminal, TCSAFLUSH, &gSaved);
    std::signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// Echo off for its lifetime; the signal handlers above cover the exits that
// skip the destructor.
class EchoOff {
public:
    explicit EchoOff(int terminal) {
        if (tcgetattr(terminal, &gSaved) != 0) return;
        gTerminal = terminal;
        struct sigaction action {};
        action.sa_handler = RestoreAndReraise;
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            sigaction(kSignals[i], &action, &previous_[i]);
        }
        struct termios quiet = gSaved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        active_ = tcsetattr(terminal, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (gTerminal < 0) return;
        tcsetattr(gTerminal, TCSAFLUSH, &gSaved);
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            sigaction(kSignals[i], &previous_[i], nullptr);
        gTerminal = -1;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool active() const { return active_; }

private:
    std::array<struct sigaction, kSignals.size()> previous_{};
    bool active_ = false;
};

}  // namespace

std::optional<std::string> PromptWithoutEcho(const std::string& prompt, std::string& error) {
    const int terminal = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (terminal < 0) {
        error = std::string("no terminal to ask on: ") + std::strerror(errno);
        return std::nullopt;
    }
    std::optional<std::string> line;
    {
        const EchoOff echoOff(terminal);
        if (!echoOff.active()) {
            error = "cannot turn the terminal's echo off";
        } else if (write(terminal, prompt.data(), prompt.size()) < 0) {
            error = std::string("cannot write to the terminal: ") + std::strerror(errno);
        } else {
            std::string text;
            char c = 0;
            ssize_t count = 0;
            while ((count = read(terminal, &c, 1)) > 0 || (count < 0 && errno == EINTR)) {
                if (count < 0) continue;
                if (c == '\n') break;
                text += c;
            }
            if (count < 0) {
                error = std::string("cannot read from the terminal: ") + std::strerror(errno);
            } else {
                if (!text.empty() && text.back() == '\r') text.pop_back();
                line = std::move(text);
            }
        }
    }
    close(terminal);
    return line;
}

}  // namespace zvcli
