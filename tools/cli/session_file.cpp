#include "session_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zvcli {
namespace {

std::string Reason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool WriteSessionFile(const std::string& path, const std::string& record, std::string& error) {
    std::string temporary = path + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());  // created with mode 0600
    if (fd < 0) {
        error = Reason("cannot create", temporary);
        return false;
    }
    temporary = name.data();
    bool written = fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    for (std::size_t done = 0; written && done < record.size();) {
        const ssize_t count = write(fd, record.data() + done, record.size() - done);
        if (count < 0 && errno == EINTR) continue;
        written = count > 0;
        if (written) done += static_cast<std::size_t>(count);
    }
    written = written && fsync(fd) == 0;
    if (!written) error = Reason("cannot write", temporary);
    close(fd);
    if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = Reason("cannot replace", path);
        written = false;
    }
    if (!written) unlink(temporary.c_str());
    return written;
}

std::optional<std::string> ReadSessionFile(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = Reason("cannot open session file", path) + " (log in first)";
        return std::nullopt;
    }
    std::string record;
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            error = Reason("cannot read", path);
            close(fd);
            return std::nullopt;
        }
        if (count == 0) break;
        record.append(buffer, static_cast<std::size_t>(count));
    }
    close(fd);
    return record;
}

bool RemoveSessionFile(const std::string& path, std::string& error) {
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    error = Reason("cannot remove", path);
    return false;
}

}  // namespace zvcli
