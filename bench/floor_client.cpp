// The floor client: sockets, framing, text conversion and OpenSSL calls in
// one file, each stage as direct as it can be written.
#include "floor_client.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/evp.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace zvbench {
namespace {

constexpr std::size_t kRequestHeaderSize = 30;
constexpr std::size_t kResponseHeaderSize = 23;
constexpr std::size_t kChecksumSize = 16;
constexpr uint8_t kNegotiationCode = 100;
constexpr uint8_t kSessionMode = 1;
constexpr uint8_t kDirectMode = 128;
constexpr uint8_t kErrorText = 255;
constexpr char kFieldSeparator = '\x1f';
constexpr uint8_t kVector[16] = {'R', 'b', '5', 'w', '@', 'G', 'z', '1',
                                 'p', 'Q', '8', '$', 'm', 'X', 't', '3'};

class Socket {
public:
    explicit Socket(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (fd_ < 0) return;
        const int on = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~Socket() {
        if (fd_ >= 0) close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool Open() const { return fd_ >= 0; }

    // Sends every byte of the pieces with as few system calls as the kernel
    // allows: one, unless it takes a part only.
    bool SendAll(iovec* pieces, int count) const {
        while (count > 0) {
            msghdr message{};
            message.msg_iov = pieces;
            message.msg_iovlen = static_cast<std::size_t>(count);
            ssize_t sent = sendmsg(fd_, &message, MSG_NOSIGNAL);
            if (sent < 0) return false;
            while (count > 0 && static_cast<std::size_t>(sent) >= pieces->iov_len) {
                sent -= static_cast<ssize_t>(pieces->iov_len);
                ++pieces;
                --count;
            }
            if (count > 0) {
                pieces->iov_base = static_cast<uint8_t*>(pieces->iov_base) + sent;
                pieces->iov_len -= static_cast<std::size_t>(sent);
            }
        }
        return true;
    }

    bool ReceiveAll(uint8_t* data, std::size_t length) const {
        while (length > 0) {
            const ssize_t got = recv(fd_, data, length, 0);
            if (got <= 0) return false;
            data += got;
            length -= static_cast<std::size_t>(got);
        }
        return true;
    }

    void CloseSending() const { shutdown(fd_, SHUT_WR); }

private:
    int fd_;
};

void Md5(const uint8_t* data, std::size_t length, uint8_t* digest) {
    unsigned int digestLength = 0;
    EVP_Digest(data, length, digest, &digestLength, EVP_md5(), nullptr);
}

void RequestHeader(uint8_t* header, uint32_t payloadLength, const uint8_t* sessionId,
                   uint8_t operationCode, uint8_t inputFormat, uint8_t outputFormat,
                   uint8_t sessionMode, uint8_t encrypted) {
    for (std::size_t i = 0; i < 4; ++i) header[i] = static_cast<uint8_t>(payloadLength >> (8 * i));
    std::memcpy(header + 4, sessionId, kFloorSessionIdSize);
    const uint8_t rest[] = {
        2, 1, 0, 0, 1, operationCode, inputFormat, outputFormat, sessionMode, encrypted};
    std::memcpy(header + 20, rest, sizeof rest);
}

// A response: its header, and its payload once the checksum has matched.
struct Response {
    uint8_t header[kResponseHeaderSize];
    std::unique_ptr<uint8_t[]> payload;
    std::size_t length = 0;
};

bool ReadResponse(const Socket& socket, Response& response) {
    if (!socket.ReceiveAll(response.header, sizeof response.header)) return false;
    uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        length |= static_cast<uint32_t>(response.header[i]) << (8 * i);
    }
    response.payload = std::make_unique_for_overwrite<uint8_t[]>(length);
    response.length = length;
    uint8_t checksum[kChecksumSize];
    uint8_t computed[EVP_MAX_MD_SIZE];
    if (!socket.ReceiveAll(response.payload.get(), length) ||
        !socket.ReceiveAll(checksum, sizeof checksum)) {
        return false;
    }
    Md5(response.payload.get(), length, computed);
    return std::memcmp(checksum, computed, kChecksumSize) == 0;
}

// The UTF-8 form of an ISO-8859-15 byte of 0x80 or above.
std::size_t EncodeHigh(uint8_t b, uint8_t* out) {
    const char* special = nullptr;
    switch (b) {
        case 0xA4:
            special = "\xE2\x82\xAC";
            break;
        case 0xA6:
            special = "\xC5\xA0";
            break;
        case 0xA8:
            special = "\xC5\xA1";
            break;
        case 0xB4:
            special = "\xC5\xBD";
            break;
        case 0xB8:
            special = "\xC5\xBE";
            break;
        case 0xBC:
            special = "\xC5\x92";
            break;
        case 0xBD:
            special = "\xC5\x93";
            break;
        case 0xBE:
            special = "\xC5\xB8";
            break;
        default:
            out[0] = static_cast<uint8_t>(0xC0 | (b >> 6));
            out[1] = static_cast<uint8_t>(0x80 | (b & 0x3F));
            return 2;
    }
    const std::size_t size = std::strlen(special);
    std::memcpy(out, special, size);
    return size;
}

// Writes the UTF-8 form of iso at out (room for three bytes each); returns
// its length. Runs below 0x80 are copied whole.
std::size_t ToUtf8(std::string_view iso, uint8_t* out) {
    const auto* in = reinterpret_cast<const uint8_t*>(iso.data());
    const std::size_t length = iso.size();
    std::size_t at = 0;
    std::size_t written = 0;
    while (at < length) {
        std::size_t run = at;
        while (run < length && in[run] < 0x80) ++run;
        std::memcpy(out + written, in + at, run - at);
        written += run - at;
        if (run == length) break;
        written += EncodeHigh(in[run], out + written);
        at = run + 1;
    }
    return written;
}

// ISO-8859-15 for a code point, or -1 when it has none.
int IsoByte(uint32_t point) {
    switch (point) {
        case 0x20AC:
            return 0xA4;
        case 0x160:
            return 0xA6;
        case 0x161:
            return 0xA8;
        case 0x17D:
            return 0xB4;
        case 0x17E:
            return 0xB8;
        case 0x152:
            return 0xBC;
        case 0x153:
            return 0xBD;
        case 0x178:
            return 0xBE;
        case 0xA4:
        case 0xA6:
        case 0xA8:
        case 0xB4:
        case 0xB8:
        case 0xBC:
        case 0xBD:
        case 0xBE:
            return -1;
        default:
            return point < 0x100 ? static_cast<int>(point) : -1;
    }
}

// Converts UTF-8 to ISO-8859-15 in place (the text never grows) and returns
// the new length. Text ends at its first zero byte; malformed sequences and
// characters without an ISO-8859-15 form are dropped.
std::size_t FromUtf8InPlace(uint8_t* text, std::size_t length) {
    std::size_t i = 0;
    std::size_t out = 0;
    while (i < length && text[i] != 0) {
        const uint8_t lead = text[i];
        if (lead < 0x80) {
            std::size_t run = i;
            while (run < length && text[run] != 0 && text[run] < 0x80) ++run;
            if (out != i) std::memmove(text + out, text + i, run - i);
            out += run - i;
            i = run;
            continue;
        }
        const std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        uint32_t point = size == 2 ? lead & 0x1Fu : size == 3 ? lead & 0x0Fu : lead & 0x07u;
        bool wellFormed = size > 1 && i + size <= length;
        for (std::size_t k = 1; wellFormed && k < size; ++k) {
            wellFormed = (text[i + k] & 0xC0) == 0x80;
            point = point << 6 | (text[i + k] & 0x3Fu);
        }
        if (!wellFormed) {
            ++i;
            continue;
        }
        i += size;
        if (const int b = IsoByte(point); b >= 0) text[out++] = static_cast<uint8_t>(b);
    }
    return out;
}

// One request and its response on a connection of its own. The request is
// converted into one buffer and encrypted there; the response is decrypted
// and converted where it arrived.
std::optional<std::string> Exchange(uint16_t port, std::string_view payload,
                                    const uint8_t* sessionId, const uint8_t* key,
                                    uint8_t operationCode, uint8_t inputFormat,
                                    uint8_t outputFormat, uint8_t sessionMode) {
    Socket socket(port);
    if (!socket.Open()) return std::nullopt;
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(3 * payload.size() + 16);
    const std::size_t textLength = ToUtf8(payload, buffer.get());
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> cipher(EVP_CIPHER_CTX_new(),
                                                                           EVP_CIPHER_CTX_free);
    int written = 0;
    int last = 0;
    if (EVP_EncryptInit_ex(cipher.get(), EVP_aes_256_cbc(), nullptr, key, kVector) != 1 ||
        EVP_EncryptUpdate(cipher.get(), buffer.get(), &written, buffer.get(),
                          static_cast<int>(textLength)) != 1 ||
        EVP_EncryptFinal_ex(cipher.get(), buffer.get() + written, &last) != 1) {
        return std::nullopt;
    }
    const auto length = static_cast<uint32_t>(written + last);
    uint8_t header[kRequestHeaderSize];
    RequestHeader(header, length, sessionId, operationCode, inputFormat, outputFormat, sessionMode,
                  1);
    uint8_t checksum[EVP_MAX_MD_SIZE];
    Md5(buffer.get(), length, checksum);
    iovec pieces[] = {{header, sizeof header}, {buffer.get(), length}, {checksum, kChecksumSize}};
    if (!socket.SendAll(pieces, 3)) return std::nullopt;
    socket.CloseSending();
    buffer.reset();

    Response response;
    if (!ReadResponse(socket, response) || response.header[21] == kErrorText) return std::nullopt;
    uint8_t* answer = response.payload.get();
    std::size_t answerLength = response.length;
    if (response.header[22] != 0) {
        if (EVP_DecryptInit_ex(cipher.get(), EVP_aes_256_cbc(), nullptr, key, kVector) != 1 ||
            EVP_DecryptUpdate(cipher.get(), answer, &written, answer,
                              static_cast<int>(answerLength)) != 1 ||
            EVP_DecryptFinal_ex(cipher.get(), answer + written, &last) != 1) {
            return std::nullopt;
        }
        answerLength = static_cast<std::size_t>(written + last);
    }
    return std::string(reinterpret_cast<const char*>(answer),
                       FromUtf8InPlace(answer, answerLength));
}

std::string JoinFields(std::initializer_list<std::string_view> fields) {
    std::string joined;
    bool first = true;
    for (const std::string_view field : fields) {
        if (!first) joined += kFieldSeparator;
        joined += field;
        first = false;
    }
    return joined;
}

}  // namespace

std::optional<std::string> FloorClient::Direct(const FloorCredentials& credentials,
                                               uint8_t operationCode, std::string_view arguments,
                                               uint8_t inputFormat, uint8_t outputFormat) const {
    uint8_t key[kFloorKeySize];
    uint8_t sessionId[kFloorSessionIdSize];
    if (getrandom(sessionId, sizeof sessionId, 0) != sizeof sessionId) return std::nullopt;
    {
        Socket socket(port_);
        if (!socket.Open()) return std::nullopt;
        uint8_t header[kRequestHeaderSize];
        RequestHeader(header, 0, sessionId, kNegotiationCode, 1, 1, kSessionMode, 0);
        iovec piece{header, sizeof header};
        if (!socket.SendAll(&piece, 1)) return std::nullopt;
        Response reply;
        if (!ReadResponse(socket, reply) || reply.header[21] != 0 || reply.length < kFloorKeySize) {
            return std::nullopt;
        }
        std::memcpy(key, reply.payload.get(), kFloorKeySize);
        std::memcpy(sessionId, reply.header + 5, kFloorSessionIdSize);
        socket.CloseSending();
    }
    const std::string payload =
        JoinFields({credentials.item3, credentials.item4, credentials.item1, credentials.item5,
                    credentials.item6, arguments, credentials.plugin, "C_Windows"});
    return Exchange(port_, payload, sessionId, key, operationCode, inputFormat, outputFormat,
                    kDirectMode);
}

std::optional<std::string> FloorClient::InSession(const FloorSession& session,
                                                  uint8_t operationCode, std::string_view arguments,
                                                  uint8_t inputFormat, uint8_t outputFormat) const {
    const std::string payload = JoinFields({session.recordId, arguments});
    return Exchange(port_, payload, session.sessionId, session.key, operationCode, inputFormat,
                    outputFormat, kSessionMode);
}

bool ParseFloorSessionId(std::string_view text, uint8_t (&bytes)[kFloorSessionIdSize]) {
    // The text's bytes in order, then the first three fields reversed.
    uint8_t inOrder[kFloorSessionIdSize];
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-') continue;
        if (count == sizeof inOrder || i + 1 >= text.size()) return false;
        const std::string pair(text.substr(i, 2));
        char* end = nullptr;
        inOrder[count++] = static_cast<uint8_t>(std::strtoul(pair.c_str(), &end, 16));
        if (end != pair.c_str() + 2) return false;
        ++i;
    }
    if (count != sizeof inOrder) return false;
    constexpr std::size_t kOrder[] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (std::size_t i = 0; i < sizeof inOrder; ++i) bytes[i] = inOrder[kOrder[i]];
    return true;
}

}  // namespace zvbench
