#include "private_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zvcli {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Why the opened file is not one we may trust, or empty when it is.
std::string Distrust(const struct stat& status) {
    if (!S_ISREG(status.st_mode)) return "is not a regular file";
    if (status.st_uid != geteuid()) {
        return "belongs to another user (uid " + std::to_string(status.st_uid) + ")";
    }
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        return std::string("is open to group or others (mode ") + mode + "; chmod 600 it)";
    }
    if (static_cast<std::size_t>(status.st_size) > kPrivateFileLimit) {
        return "is larger than 64 KiB";
    }
    return {};
}

}  // namespace

std::optional<std::string> ReadPrivateFile(const std::string& path, const char* what,
                                           bool followLinks, std::string& error) {
    const auto refuse = [&](const std::string& reason) {
        error = std::string(what) + " " + path + " " + reason;
        return std::nullopt;
    };
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW);
    const Descriptor file(open(path.c_str(), flags));
    if (file.get() < 0) {
        if (errno == ELOOP && !followLinks) return refuse("is a symbolic link");
        return refuse(std::string("cannot be opened: ") + std::strerror(errno));
    }
    struct stat status {};
    if (fstat(file.get(), &status) != 0) {
        return refuse(std::string("cannot be examined: ") + std::strerror(errno));
    }
    if (const std::string reason = Distrust(status); !reason.empty()) return refuse(reason);

    // Read one byte past the limit: the file may have grown since fstat.
    std::string contents;
    char buffer[4096];
    while (contents.size() <= kPrivateFileLimit) {
        const ssize_t count = read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return refuse(std::string("cannot be read: ") + std::strerror(errno));
        if (count == 0) break;
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    if (contents.size() > kPrivateFileLimit) return refuse("is larger than 64 KiB");
    if (contents.find('\0') != std::string::npos) return refuse("holds a zero byte");
    return contents;
}

}  // namespace zvcli
