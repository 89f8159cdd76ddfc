// PayloadDigest: the library's own MD5 or the platform's service, as the
// engine says.
#include "payload_digest.hpp"

namespace zv {

PayloadDigest::PayloadDigest(const ChecksumEngine& engine) noexcept : ownMd5_(engine.ownMd5) {
    if (ownMd5_) {
        Md5Init(md5_);
    } else {
        failed_ = !service_.Start();
    }
}

void PayloadDigest::Update(const uint8_t* data, std::size_t length) noexcept {
    if (ownMd5_) {
        Md5Update(md5_, data, length);
    } else if (!failed_) {
        failed_ = !service_.Update(data, length);
    }
}

bool PayloadDigest::Finish(uint8_t (&checksum)[kChecksumSize]) noexcept {
    if (ownMd5_) {
        Md5Final(md5_, checksum);
        return true;
    }
    return !failed_ && service_.Finish(checksum);
}

bool DigestPayload(const uint8_t* data, std::size_t length,
                   uint8_t (&checksum)[kChecksumSize]) noexcept {
    PayloadDigest digest;
    digest.Update(data, length);
    return digest.Finish(checksum);
}

}  // namespace zv
