// The request payload as it travels, built in one block in slices: converted
// to UTF-8, then (under a key) padded and encrypted where it stands, with the
// checksum computed on the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "crypto/crypto.hpp"
#include "crypto/payload_cipher.hpp"
#include "crypto/session_key.hpp"
#include "transport/wiped_block.hpp"

namespace zv {

// The most work (bytes converted, encrypted, decrypted or received) one step
// of an operation does before it lets its caller look at other things: about
// a millisecond or two of a core.
inline constexpr std::size_t kWorkSlice = 1024 * 1024;

enum class WorkResult { kDone, kMore, kFailed };

class WirePayload {
public:
    WirePayload() noexcept = default;
    WirePayload(const WirePayload&) = delete;
    WirePayload& operator=(const WirePayload&) = delete;

    // Takes text (zero-terminated ISO-8859-15, null counting as empty; it
    // must stay in place until the payload is built) and key (null: the
    // payload goes unencrypted). False when memory runs out or the text is
    // too long for a frame's header.
    bool Begin(const char* text, const SessionKey* key) noexcept;
    // Works on the payload until it is built or budget (counted down) is
    // spent. kFailed when the text is too long or the hash service fails.
    WorkResult Work(std::size_t& budget) noexcept;

    std::span<const uint8_t> Bytes() const noexcept { return {block_.Get(), length_}; }
    const uint8_t (&Checksum() const noexcept)[kChecksumSize] { return checksum_; }

private:
    enum class Step { kConvert, kEncrypt, kDone };

    // Until it is all encrypted the block holds plaintext, wiped when it goes.
    WipedBlock<uint8_t> block_;
    const char* text_ = nullptr;
    std::size_t textLength_ = 0;
    std::size_t converted_ = 0;  // of the text
    std::size_t length_ = 0;     // of the payload so far
    std::size_t encrypted_ = 0;
    Step step_ = Step::kConvert;
    const SessionKey* key_ = nullptr;
    std::optional<PayloadEncryptor> encryptor_;
    uint8_t checksum_[kChecksumSize] = {};
};

}  // namespace zv
