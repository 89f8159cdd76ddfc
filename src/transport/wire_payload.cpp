#include "transport/wire_payload.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "crypto/payload_digest.hpp"
#include "transport/text_conversion.hpp"

namespace zv {
namespace {

// Room for the padding block, so that the length still fits the header.
constexpr std::size_t kLongest = std::numeric_limits<uint32_t>::max() - 2 * kAesBlockSize;

}  // namespace

bool WirePayload::Begin(const char* text, const SessionKey* key) noexcept {
    text_ = text != nullptr ? text : "";
    textLength_ = std::strlen(text_);
    if (textLength_ > kLongest) return false;
    key_ = key;
    // Sized for the worst case rather than measured first: the pages the
    // text does not reach are never touched.
    const std::size_t size = MaxUtf8Length(textLength_) + kAesBlockSize;
    block_ = WipedBlock<uint8_t>(static_cast<uint8_t*>(std::malloc(size)), 0);
    return static_cast<bool>(block_);
}

WorkResult WirePayload::Work(std::size_t& budget) noexcept {
    while (step_ == Step::kConvert) {
        if (budget == 0) return WorkResult::kMore;
        const std::size_t piece = std::min({budget, kWorkSlice, textLength_ - converted_});
        length_ += Iso885915ToUtf8(text_ + converted_, piece,
                                   reinterpret_cast<char*>(block_.Get()) + length_);
        converted_ += piece;
        budget -= piece;
        block_.SetWipedSize(length_);
        if (converted_ < textLength_) continue;
        if (length_ > kLongest) return WorkResult::kFailed;
        if (key_ == nullptr) {
            step_ = Step::kDone;
            if (!DigestPayload(block_.Get(), length_, checksum_)) return WorkResult::kFailed;
            return WorkResult::kDone;
        }
        PadPayload(block_.Get(), static_cast<uint32_t>(length_));
        length_ = PaddedPayloadLength(static_cast<uint32_t>(length_));
        block_.SetWipedSize(length_);
        encryptor_.emplace(key_->Bytes(), nullptr);
        step_ = Step::kEncrypt;
    }
    while (step_ == Step::kEncrypt) {
        if (budget == 0) return WorkResult::kMore;
        // Whole 64-byte blocks but for the last piece, as the digest wants.
        const std::size_t piece = std::min(std::max<std::size_t>(budget & ~std::size_t{63}, 64),
                                           std::min(kWorkSlice, length_ - encrypted_));
        encryptor_->Encrypt(block_.Get() + encrypted_, piece);
        encrypted_ += piece;
        budget -= std::min(budget, piece);
        if (encrypted_ < length_) continue;
        step_ = Step::kDone;
        // Only ciphertext is left: the block need not be wiped any more.
        block_.SetWipedSize(0);
        if (!encryptor_->Finish(checksum_)) return WorkResult::kFailed;
    }
    return WorkResult::kDone;
}

}  // namespace zv
