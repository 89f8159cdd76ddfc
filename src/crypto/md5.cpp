// The portable MD5: the compression function unrolled from md5_steps.hpp, and
// the buffering and padding around it.
#include "md5.hpp"

#include <algorithm>
#include <cstring>

#include "md5_steps.hpp"

namespace zv {

void Md5CompressBlocks(uint32_t (&state)[4], const uint8_t* blocks, std::size_t count) noexcept {
    for (std::size_t n = 0; n < count; ++n, blocks += kMd5BlockSize) {
        uint32_t words[16];
        md5::LoadBlock(blocks, words);
        uint32_t v[4] = {state[0], state[1], state[2], state[3]};
        md5::StepsFrom<0>(v, words, std::make_index_sequence<64>{});
        for (std::size_t i = 0; i < 4; ++i) state[i] += v[i];
    }
}

void Md5Init(Md5Context& context) noexcept {
    std::memcpy(context.state, md5::kInitialState, sizeof context.state);
    context.length = 0;
}

void Md5Update(Md5Context& context, const uint8_t* data, std::size_t length) noexcept {
    if (length == 0) return;
    std::size_t held = context.length % kMd5BlockSize;
    context.length += length;
    if (held != 0) {
        const std::size_t taken = std::min(length, kMd5BlockSize - held);
        std::memcpy(context.pending + held, data, taken);
        data += taken;
        length -= taken;
        held += taken;
        if (held < kMd5BlockSize) return;
        Md5CompressBlocks(context.state, context.pending, 1);
    }
    const std::size_t whole = length / kMd5BlockSize;
    Md5CompressBlocks(context.state, data, whole);
    const std::size_t rest = length % kMd5BlockSize;
    if (rest != 0) std::memcpy(context.pending, data + whole * kMd5BlockSize, rest);
}

void Md5Final(Md5Context& context, uint8_t (&digest)[kMd5DigestSize]) noexcept {
    // A 0x80 byte, zeros up to 56 bytes into a block, and the message length
    // in bits as a little-endian 64-bit number.
    const uint64_t bits = context.length * 8;
    uint8_t tail[2 * kMd5BlockSize] = {0x80};
    const std::size_t held = context.length % kMd5BlockSize;
    const std::size_t tailLength = (held < 56 ? 64 : 128) - held;
    for (std::size_t i = 0; i < 8; ++i) {
        tail[tailLength - 8 + i] = static_cast<uint8_t>(bits >> (8 * i));
    }
    Md5Update(context, tail, tailLength);
    for (std::size_t i = 0; i < 16; ++i) {
        digest[i] = static_cast<uint8_t>(context.state[i / 4] >> (8 * (i % 4)));
    }
}

}  // namespace zv
