// The server's directions of the two headers: reading a request's, writing a
// response's. Only the reference server and the peers that stand in for it
// (tests, fuzzers, benchmarks) need them, so the client library holds none.
#pragma once

#include <cstdint>

#include "transport/frame_headers.hpp"

namespace zv {

RequestHeader DecodeRequestHeader(const uint8_t* bytes) noexcept;
ResponseHeaderBytes EncodeResponseHeader(const ResponseHeader& header) noexcept;

}  // namespace zv
