// Turning a response frame that arrived whole into the caller's text, in
// slices: decrypted under the key when it is flagged encrypted, converted to
// ISO-8859-15 where it stands, and fitted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "crypto/payload_cipher.hpp"
#include "crypto/session_key.hpp"
#include "strings/strings.hpp"
#include "transport/frame_decoder.hpp"
#include "transport/frame_headers.hpp"
#include "transport/wire_payload.hpp"

namespace zv {

struct Response {
    bool isErrorText = false;  // the server flagged the payload as its error text
    CString text;              // ISO-8859-15, zero-terminated
    uint32_t length = 0;
};

class ResponseAssembly {
public:
    // Takes the payload of frame, which is complete, and key (null: an
    // encrypted payload is handed on as it came).
    ResponseAssembly(FrameDecoder& frame, const SessionKey* key) noexcept;
    ResponseAssembly(const ResponseAssembly&) = delete;
    ResponseAssembly& operator=(const ResponseAssembly&) = delete;

    // Works until the text is ready (kDone, response set) or budget (counted
    // down) is spent; kFailed (406) when the payload does not decrypt.
    WorkResult Work(std::size_t& budget, Response& response) noexcept;

private:
    enum class Step { kDecrypt, kConvert, kDone };

    ReceiveBuffer payload_;
    ResponseHeader header_;
    Step step_ = Step::kConvert;
    std::optional<PayloadDecryptor> decryptor_;
    std::size_t decrypted_ = 0;
    std::size_t end_ = 0;  // where the text ends at the latest
    std::size_t read_ = 0;
    std::size_t written_ = 0;
};

}  // namespace zv
