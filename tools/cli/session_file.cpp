#include "session_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "private_file.hpp"

namespace zvcli {
namespace {

std::string Reason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool SessionFileExists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

bool WriteSessionFile(const std::string& path, const std::string& record, bool replace,
                      std::string& error) {
    std::string temporary = path + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    // The temporary file is ours alone; failures name the file the user gave.
    const int fd = mkstemp(name.data());  // created with mode 0600
    if (fd < 0) {
        error = Reason("cannot create session file", path);
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
    if (!written) error = Reason("cannot write session file", path);
    close(fd);
    if (written && replace && std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = Reason("cannot replace session file", path);
        written = false;
    }
    // link() never replaces: a file that appeared at path since the caller
    // looked stays as it is.
    if (written && !replace && link(temporary.c_str(), path.c_str()) != 0) {
        error = Reason("cannot create session file", path);
        written = false;
    }
    if (!written || !replace) unlink(temporary.c_str());
    return written;
}

std::optional<std::string> ReadSessionFile(const std::string& path, std::string& error) {
    auto record = ReadPrivateFile(path, "session file", false, error);
    if (!record && !SessionFileExists(path)) error += " (log in first)";
    return record;
}

bool RemoveSessionFile(const std::string& path, std::string& error) {
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    error = Reason("cannot remove session file", path);
    return false;
}

}  // namespace zvcli
