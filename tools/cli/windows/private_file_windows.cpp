// The Windows side of private files: the owner and the access list take the
// place of the POSIX owner and mode bits.
#include "windows_security.hpp"

#include <aclapi.h>

#include <array>

#include "../private_file.hpp"

namespace zvcli {
namespace {

// Besides the user, the accounts that can read every file on the machine
// anyway: granting them access opens the file to no one new.
bool IsTrusted(PSID sid, PSID user) {
    if (EqualSid(sid, user)) return true;
    for (const WELL_KNOWN_SID_TYPE type :
         {WinLocalSystemSid, WinBuiltinAdministratorsSid, WinCreatorOwnerRightsSid}) {
        std::array<unsigned char, SECURITY_MAX_SID_SIZE> known{};
        DWORD size = known.size();
        if (CreateWellKnownSid(type, nullptr, known.data(), &size) && EqualSid(sid, known.data())) {
            return true;
        }
    }
    return false;
}

// Why no one but the user may have read the file, or empty when so.
std::string Distrust(HANDLE file, PSID user) {
    PSID owner = nullptr;
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD failure = GetSecurityInfo(file, SE_FILE_OBJECT,
                                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                          &owner, nullptr, &access, nullptr, &descriptor);
    if (failure != ERROR_SUCCESS) return "has no readable access list: " + SystemMessage(failure);
    std::string reason;
    if (owner == nullptr || !EqualSid(owner, user)) {
        reason = "belongs to another user (" + (owner ? SidText(owner) : "no owner") + ")";
    } else if (access == nullptr) {
        reason = "is open to everyone (it has no access list)";
    }
    for (DWORD i = 0; reason.empty() && i < access->AceCount; ++i) {
        ACE_HEADER* entry = nullptr;
        if (!GetAce(access, i, reinterpret_cast<void**>(&entry))) continue;
        if (entry->AceType == ACCESS_DENIED_ACE_TYPE || (entry->AceFlags & INHERIT_ONLY_ACE) != 0) {
            continue;  // a refusal, or an entry for files created inside
        }
        if (entry->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            reason = "has an access entry of a kind not checked here (" +
                     std::to_string(entry->AceType) + ")";
            break;
        }
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry);
        const PSID grantee = &allowed->SidStart;
        if ((allowed->Mask & ~SYNCHRONIZE) != 0 && !IsTrusted(grantee, user)) {
            reason = "is open to other users (" + SidText(grantee) + "; let its owner alone in)";
        }
    }
    LocalFree(descriptor);
    return reason;
}

}  // namespace

std::optional<std::string> ReadPrivateFile(const std::string& path, const char* what,
                                           bool followLinks, std::string& error) {
    const auto refuse = [&](const std::string& reason) {
        error = std::string(what) + " " + path + " " + reason;
        return std::nullopt;
    };
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const OwnedHandle file =
        Own(CreateFileW(Wide(path).c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                        OPEN_EXISTING, flags, nullptr));
    if (!file) return refuse("cannot be opened: " + SystemMessage(GetLastError()));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.get(), &information)) {
        return refuse("cannot be examined: " + SystemMessage(GetLastError()));
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return refuse("is a symbolic link");
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return refuse("is not a regular file");
    }
    std::vector<unsigned char> user = CurrentUserSid();
    if (user.empty()) return refuse("cannot be checked: " + SystemMessage(GetLastError()));
    if (const std::string reason = Distrust(file.get(), user.data()); !reason.empty()) {
        return refuse(reason);
    }
    if (information.nFileSizeHigh != 0 || information.nFileSizeLow > kPrivateFileLimit) {
        return refuse("is larger than 64 KiB");
    }

    // Read one byte past the limit: the file may have grown since it was examined.
    std::string contents;
    char buffer[4096];
    while (contents.size() <= kPrivateFileLimit) {
        DWORD count = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &count, nullptr)) {
            return refuse("cannot be read: " + SystemMessage(GetLastError()));
        }
        if (count == 0) break;
        contents.append(buffer, count);
    }
    if (contents.size() > kPrivateFileLimit) return refuse("is larger than 64 KiB");
    if (contents.find('\0') != std::string::npos) return refuse("holds a zero byte");
    return contents;
}

}  // namespace zvcli
