// A server reply played into one end of a socket pair by a thread of its own,
// cut into writes as the fuzz input chooses, while the target reads the other
// end through a Connection. The writer first reads what the client sends, so
// the client's own send never meets a closed peer, then writes, then closes.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

#include "crypto/crypto.hpp"
#include "fuzz_input.hpp"
#include "server_frame_headers.hpp"
#include "transport/connection.hpp"

namespace zvfuzz {

using Bytes = std::vector<uint8_t>;

// How a reply is cut into writes; chosen by two input bytes.
struct Fragmentation {
    uint8_t mode = 0;
    uint8_t parameter = 0;

    static Fragmentation Take(FuzzInput& input) noexcept {
        Fragmentation cut;
        cut.mode = input.TakeByte();
        cut.parameter = input.TakeByte();
        return cut;
    }

    // The sizes of the successive writes of a reply of size bytes.
    std::vector<std::size_t> Pieces(std::size_t size) const {
        std::vector<std::size_t> pieces;
        std::size_t remaining = size;
        // Queues one write of up to piece bytes; false once nothing remains.
        const auto add = [&](std::size_t piece) {
            piece = std::min(piece, remaining);
            if (piece != 0) pieces.push_back(piece);
            remaining -= piece;
            return remaining != 0;
        };
        switch (mode % 4) {
            case 0:  // all at once
                add(size);
                break;
            case 1:  // equal pieces of 1 to 64 bytes
                while (add(parameter % 64 + 1)) {
                }
                break;
            case 2: {  // pseudo-random pieces of 1 to 32 bytes
                uint32_t state = parameter * 2654435761u + 1;
                for (;;) {
                    state = state * 1664525u + 1013904223u;
                    if (!add(state >> 27 | 1)) break;
                }
                break;
            }
            default:  // at the frame's own boundaries: header, payload, checksum
                add(zv::kResponseHeaderSize);
                add(remaining > zv::kChecksumSize ? remaining - zv::kChecksumSize : 0);
                add(remaining);
                break;
        }
        return pieces;
    }
};

class ScriptedReply {
public:
    // requestSize: the bytes the client sends before it reads the reply.
    ScriptedReply(Bytes reply, const Fragmentation& cut, std::size_t requestSize) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) Violated();
        client_ = zv::Connection::Adopt(ends[0]);
        const int peer = ends[1];
        std::vector<std::size_t> pieces = cut.Pieces(reply.size());
        writer_ =
            std::thread([peer, requestSize, reply = std::move(reply), pieces = std::move(pieces)] {
                Bytes request(requestSize);
                zv::ReceiveExactly(peer, request.data(), request.size());
                std::size_t sent = 0;
                for (std::size_t piece : pieces) {
                    if (zv::SendAll(peer, reply.data() + sent, piece) != 0) break;
                    sent += piece;
                }
                close(peer);
            });
    }
    ~ScriptedReply() {
        // Closing first wakes a writer still blocked on a reader that gave up.
        client_.Close();
        writer_.join();
    }
    ScriptedReply(const ScriptedReply&) = delete;
    ScriptedReply& operator=(const ScriptedReply&) = delete;

    zv::Connection& Client() noexcept { return client_; }

private:
    zv::Connection client_;
    std::thread writer_;
};

// The checksum trailer of payload.
inline Bytes Md5Of(const Bytes& payload) {
    uint8_t* digest = zv::ComputeChecksum(payload.data(), static_cast<uint32_t>(payload.size()));
    if (digest == nullptr) Violated();
    Bytes result(digest, digest + zv::kChecksumSize);
    std::free(digest);
    return result;
}

// A well-formed frame around payload: the header's length set to match and
// the right checksum after it; the other header fields as given.
inline Bytes Frame(zv::ResponseHeader header, const Bytes& payload) {
    header.payloadLength = static_cast<uint32_t>(payload.size());
    const zv::ResponseHeaderBytes headerBytes = zv::EncodeResponseHeader(header);
    Bytes frame(headerBytes.begin(), headerBytes.end());
    frame.insert(frame.end(), payload.begin(), payload.end());
    const Bytes checksum = Md5Of(payload);
    frame.insert(frame.end(), checksum.begin(), checksum.end());
    return frame;
}

// A header read from the next 23 input bytes (zeros past the end).
inline zv::ResponseHeader TakeHeader(FuzzInput& input) {
    zv::ResponseHeaderBytes bytes{};
    const auto taken = input.TakeBytes(bytes.size());
    std::copy(taken.begin(), taken.end(), bytes.begin());
    return zv::DecodeResponseHeader(bytes.data());
}

}  // namespace zvfuzz
