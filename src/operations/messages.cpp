#include "messages.hpp"

#include <cstdio>
#include <string_view>

#include "error_codes.hpp"
#include "strings/strings.hpp"

namespace zv {
namespace {

struct CodeText {
    uint32_t code;
    std::string_view text;
};

// The texts of codes 510 to 512 hold a "%d" where the socket error number goes.
constexpr CodeText kCodeTexts[] = {
    {10, "Impossible allocate memory"},
    {30, "Invalid PORT number"},
    {31, "Error in CredentialOptions: Expected 8 items"},
    {32, "Error in ConnectionInfo: Expected 12 items"},
    {33, "Error in ConnectionInfo: No session key, login first"},
    {34, "Error in ConnectionInfo: Invalid session identifier"},
    {50, "Unable to resolve hostname"},
    {101, "WSAStartup failed"},
    {102, "getaddrinfo failed"},
    {103, "Socket failed"},
    {104, "Unable to connect to server!"},
    {105, "Timed out connecting to server"},
    {201, "Socket creation error"},
    {202, "Invalid address / Address not supported"},
    {203, "Connection Failed"},
    {310, "Not sent all bytes of command header"},
    {311, "Not send all bytes of command data"},
    {312, "Not sent all bytes of command checksum"},
    {320, "WINSOCK. shutdown error"},
    {350, "Encrypt negociation. Not sent all bytes of command header"},
    {351, "Encrypt negociation. Not received all bytes of header response"},
    {352, "Encrypt negociation. Not enough free memory"},
    {353, "Encrypt negociation. Not received all bytes of data response response"},
    {354, "Encrypt negociation. Not received all bytes of data checksum response"},
    {355, "Encrypt negociation. Checksum error"},
    {356, "Encrypt negociation. Error shutdown socket reception"},
    {357, "Encrypt negociation. Invalid session key"},
    {400, "Nothing to send"},
    {401, "Not received all bytes of header response"},
    {402, "Not enough free memory for received data"},
    {403, "Not received all bytes of data response response"},
    {404, "Not received all bytes of data checksum response"},
    {405, "Checksum error"},
    {406, "Invalid encrypted data"},
    {407, "Timed out waiting for the server"},
    {408, "Operation cancelled"},
    {510, "Not sent all bytes of command header. WSA error code: %d"},
    {511, "Not sent all bytes of command data. WSA error code: %d"},
    {512, "Not sent all bytes of command checksum. WSA error code: %d"},
};

const CodeText* FindCodeText(uint32_t code) {
    for (const CodeText& entry : kCodeTexts) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

std::string Format(const char* format, auto... values) {
    const int length = std::snprintf(nullptr, 0, format, values...);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, values...);
    return text;
}

}  // namespace

std::string ErrorMessageText(uint32_t code, int32_t lastSocketError) {
    const CodeText* entry = FindCodeText(code);
    if (entry == nullptr) {
        return Format("C%03u: INTERNAL ERROR %u", static_cast<unsigned>(code),
                      static_cast<unsigned>(code));
    }
    std::string text(entry->text);
    uint32_t shownCode = code;
    if (code >= kHeaderSendShort && code <= kChecksumSendShort) {
        // The short-send messages are shown under the numbers of their
        // texts without the error number.
        text.replace(text.find("%d"), 2, std::to_string(lastSocketError));
        shownCode = code - 200;
    }
    return Format("C%03u: %s", static_cast<unsigned>(shownCode), text.c_str());
}

char* BuildErrorMessage(uint32_t code, int32_t lastSocketError) noexcept {
    return NoThrow<char*>(nullptr,
                          [&] { return CopyToCString(ErrorMessageText(code, lastSocketError)); });
}

}  // namespace zv
