// The Windows side of the session file: created with an access list that
// lets its owner alone in, written to a temporary file and moved into place.
// windows.h (through windows_security.hpp) goes before the other system headers.
#include "windows_security.hpp"

#include <sddl.h>

#include <algorithm>

#include "../private_file.hpp"
#include "../session_file.hpp"

namespace zvcli {
namespace {

std::string Reason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + SystemMessage(GetLastError());
}

// Owned by the user, who alone is let in; nothing inherited from the folder.
struct OwnerOnly {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    OwnerOnly() {
        std::vector<unsigned char> user = CurrentUserSid();
        if (user.empty()) return;
        const std::string sid = SidText(user.data());
        const std::string text = "O:" + sid + "D:P(A;;FA;;;" + sid + ")";
        ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                             &descriptor, nullptr);
    }
    ~OwnerOnly() { LocalFree(descriptor); }
    OwnerOnly(const OwnerOnly&) = delete;
    OwnerOnly& operator=(const OwnerOnly&) = delete;
};

bool WriteAll(HANDLE file, const std::string& record) {
    for (std::size_t done = 0; done < record.size();) {
        DWORD count = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(record.size() - done, 65536));
        if (!WriteFile(file, record.data() + done, chunk, &count, nullptr) || count == 0) {
            return false;
        }
        done += count;
    }
    return FlushFileBuffers(file) != 0;
}

}  // namespace

bool SessionFileExists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteSessionFile(const std::string& path, const std::string& record, bool replace,
                      std::string& error) {
    const OwnerOnly security;
    if (security.descriptor == nullptr) {
        error = Reason("cannot make an access list for session file", path);
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.descriptor, FALSE};
    // The temporary file is ours alone; failures name the file the user gave.
    const std::string temporary =
        path + "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(GetTickCount64());
    bool written = false;
    {
        const OwnedHandle file =
            Own(CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            error = Reason("cannot create session file", path);
            return false;
        }
        written = WriteAll(file.get(), record);
        if (!written) error = Reason("cannot write session file", path);
    }
    // Without MOVEFILE_REPLACE_EXISTING the move fails when a file appeared
    // at path since the caller looked: it stays as it is.
    const DWORD how = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (written && !MoveFileExW(Wide(temporary).c_str(), Wide(path).c_str(), how)) {
        error =
            Reason(replace ? "cannot replace session file" : "cannot create session file", path);
        written = false;
    }
    if (!written) DeleteFileW(Wide(temporary).c_str());
    return written;
}

std::optional<std::string> ReadSessionFile(const std::string& path, std::string& error) {
    auto record = ReadPrivateFile(path, "session file", false, error);
    if (!record && !SessionFileExists(path)) error += " (log in first)";
    return record;
}

bool RemoveSessionFile(const std::string& path, std::string& error) {
    if (DeleteFileW(Wide(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    error = Reason("cannot remove session file", path);
    return false;
}

}  // namespace zvcli
