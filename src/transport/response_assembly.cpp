#include "transport/response_assembly.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "transport/text_conversion.hpp"

namespace zv {

ResponseAssembly::ResponseAssembly(FrameDecoder& frame, const SessionKey* key) noexcept
    : payload_(std::move(frame.Payload())),
      header_(DecodeResponseHeader(frame.Header().data())),
      end_(header_.payloadLength) {
    if (header_.encrypted != 0 && key != nullptr) {
        decryptor_.emplace(key->Bytes(), nullptr);
        step_ = Step::kDecrypt;
    }
}

WorkResult ResponseAssembly::Work(std::size_t& budget, Response& response) noexcept {
    uint8_t* data = payload_.Data();
    const std::size_t length = header_.payloadLength;
    while (step_ == Step::kDecrypt) {
        // Only whole blocks, at least one, can be a CBC payload with its
        // padding.
        if (length == 0 || length % kAesBlockSize != 0) return WorkResult::kFailed;
        if (budget == 0) return WorkResult::kMore;
        const std::size_t piece =
            std::min(std::max<std::size_t>(budget & ~(kAesBlockSize - 1), kAesBlockSize),
                     std::min(kWorkSlice, length - decrypted_));
        decryptor_->Decrypt(data + decrypted_, piece);
        decrypted_ += piece;
        budget -= std::min(budget, piece);
        if (decrypted_ < length) continue;
        if (!HasValidPadding(data + length - kAesBlockSize)) return WorkResult::kFailed;
        // Padding follows decrypted text, so the zero that ends it still fits.
        end_ = length - data[length - 1];
        data[end_] = 0;
        step_ = Step::kConvert;
    }
    char* text = reinterpret_cast<char*>(data);
    while (step_ == Step::kConvert) {
        if (budget == 0) return WorkResult::kMore;
        // The text ends at its first zero byte.
        std::size_t to = std::min({read_ + budget, read_ + kWorkSlice, end_});
        const void* zero = std::memchr(text + read_, 0, to - read_);
        const bool last = zero != nullptr || to == end_;
        if (zero != nullptr) to = static_cast<std::size_t>(static_cast<const char*>(zero) - text);
        budget -= std::min(budget, to - read_);
        read_ = Utf8ToIso885915Piece(text, read_, to, written_);
        if (last) step_ = Step::kDone;
    }
    text[written_] = 0;
    // What lies past the text (bytes the conversion freed, the padding) may
    // be plaintext: wiped before the fitting can give it back.
    SecureWipe(data + written_ + 1, length - written_);
    uint8_t* block = payload_.Take();
    // A shrink that fails leaves the block as it was, which is as good.
    if (void* fitted = std::realloc(block, written_ + 1)) block = static_cast<uint8_t*>(fitted);
    response.text.reset(reinterpret_cast<char*>(block));
    response.length = static_cast<uint32_t>(written_);
    response.isErrorText = header_.errorFlag == kErrorFlagServerText;
    return WorkResult::kDone;
}

}  // namespace zv
