// The memory an answer costs: a child process receives one 256 MiB answer,
// plain or encrypted, and reports how much its peak resident memory grew,
// as a ratio of the answer's size. The server is a thread of the parent that
// reads one request and sends one prepared reply, so that none of its memory
// shows in the child, and the child's request stays small.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "crypto/crypto.hpp"
#include "crypto/payload_digest.hpp"
#include "server_frame_headers.hpp"
#include "strings/strings.hpp"
#include "transport/session_id.hpp"
#include "zorvat.h"

namespace {

constexpr std::size_t kAnswerSize = std::size_t{256} << 20;
constexpr uint8_t kKey[zv::kSessionKeySize + 1] = "0123456789abcdefghijklmnopqrstuv";
constexpr uint8_t kSessionId[zv::kSessionIdSize] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"), or -1.
long StatusKib(const char* field) {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    char line[256];
    long value = -1;
    const std::size_t fieldLength = std::strlen(field);
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, field, fieldLength) == 0) value = std::atol(line + fieldLength);
    }
    std::fclose(status);
    return value;
}

// A record of a session that holds kKey and kSessionId, for a server on port.
std::string SessionRecord(uint16_t port) {
    char* options = ZvCreateCredentialOptions("127.0.0.1", "ACCOUNT", port, "u", "p", "", "");
    char* record = ZvCreateConnectionInfo(options, 0);
    const zv::CString idText(zv::SessionIdToText(kSessionId));
    const std::string key(reinterpret_cast<const char*>(kKey), zv::kSessionKeySize);
    for (const auto& [index, value] :
         {std::pair<uint32_t, const char*>{8, "R1"}, {9, idText.get()}, {10, key.c_str()}}) {
        char* changed = ZvChangeConnectionInfo(record, index, value);
        ZvFreeMemory(record);
        record = changed;
    }
    std::string kept(record);
    ZvFreeMemory(record);
    ZvFreeMemory(options);
    return kept;
}

// The reply frame: header, the answer (kAnswerSize bytes of text, encrypted
// under kKey when asked), checksum.
std::vector<uint8_t> ReplyFrame(bool encrypted) {
    const std::size_t length =
        encrypted ? zv::PaddedPayloadLength(static_cast<uint32_t>(kAnswerSize)) : kAnswerSize;
    std::vector<uint8_t> frame(zv::kResponseHeaderSize + length + zv::kChecksumSize);
    uint8_t* payload = frame.data() + zv::kResponseHeaderSize;
    std::memset(payload, 'x', kAnswerSize);
    uint8_t checksum[zv::kChecksumSize];
    if (encrypted) {
        zv::PadPayload(payload, static_cast<uint32_t>(kAnswerSize));
        zv::EncryptInPlaceAndDigest(kKey, nullptr, payload, static_cast<uint32_t>(length),
                                    checksum);
    } else {
        zv::DigestPayload(payload, length, checksum);
    }
    std::memcpy(payload + length, checksum, sizeof checksum);
    zv::ResponseHeader header;
    header.payloadLength = static_cast<uint32_t>(length);
    header.encrypted = encrypted ? 1 : 0;
    const zv::ResponseHeaderBytes bytes = zv::EncodeResponseHeader(header);
    std::memcpy(frame.data(), bytes.data(), bytes.size());
    return frame;
}

bool ReadAll(int socket, uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t got = recv(socket, data, length, 0);
        if (got <= 0) return false;
        data += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

// Accepts one connection, reads its request and sends frame.
void ServeOnce(int listener, const std::vector<uint8_t>& frame) {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) return;
    uint8_t header[zv::kRequestHeaderSize];
    if (ReadAll(client, header, sizeof header)) {
        std::vector<uint8_t> rest(zv::FramePayloadLength(header) + zv::kChecksumSize);
        if (ReadAll(client, rest.data(), rest.size())) {
            for (std::size_t sent = 0; sent < frame.size();) {
                const ssize_t moved =
                    send(client, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
                if (moved <= 0) break;
                sent += static_cast<std::size_t>(moved);
            }
        }
    }
    close(client);
}

// In the child: runs the operation and writes the growth of its peak
// resident memory, in bytes, to out (0 when the answer did not come whole).
[[noreturn]] void ReceiveInChild(const std::string& record, int out) {
    char* info = ZvCreateConnectionInfo("", 0);  // warms the library up
    ZvFreeMemory(info);
    // Resets the peak to what is resident now.
    if (FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", clear);
        std::fclose(clear);
    }
    const long before = StatusKib("VmRSS:");
    char* message = nullptr;
    char* connection = const_cast<char*>(record.c_str());
    char* answer = ZvExecutePersistentOperation(&message, &connection, 20, "", 1, 1, 0);
    const long peak = StatusKib("VmHWM:");
    const bool whole = answer != nullptr && std::strlen(answer) == kAnswerSize;
    const long long grown = whole && before >= 0 && peak >= 0 ? (peak - before) * 1024LL : 0;
    if (write(out, &grown, sizeof grown) != sizeof grown) _exit(1);
    _exit(0);
}

void BM_AnswerPeakMemory(benchmark::State& state) {
    const bool encrypted = state.range(0) != 0;
    for (auto _ : state) {
        const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int pipeEnds[2];
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener, 1) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            pipe(pipeEnds) != 0) {
            state.SkipWithError("no listener");
            return;
        }
        const std::string record = SessionRecord(ntohs(address.sin_port));
        // The child starts before the reply is built, so that none of the
        // parent's copy of it is shared into the child's resident set.
        const pid_t child = fork();
        if (child == 0) {
            close(listener);
            ReceiveInChild(record, pipeEnds[1]);
        }
        close(pipeEnds[1]);
        {
            const std::vector<uint8_t> frame = ReplyFrame(encrypted);
            ServeOnce(listener, frame);
        }
        long long grown = 0;
        const bool reported = read(pipeEnds[0], &grown, sizeof grown) == sizeof grown;
        close(pipeEnds[0]);
        close(listener);
        int childStatus = 0;
        waitpid(child, &childStatus, 0);
        if (!reported || grown <= 0) {
            state.SkipWithError("the child did not receive the answer");
            return;
        }
        state.counters["peak_ratio"] =
            static_cast<double>(grown) / static_cast<double>(kAnswerSize);
    }
}

}  // namespace

BENCHMARK(BM_AnswerPeakMemory)->ArgName("encrypted")->Arg(0)->Arg(1)->Iterations(1);
