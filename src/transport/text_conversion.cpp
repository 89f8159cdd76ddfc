// Iso885915ToUtf8 and Utf8ToIso885915. Payloads are mostly ASCII, which both
// directions copy eight bytes at a time; only the other bytes go through the
// byte rules.
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "transport/text_conversion.hpp"

namespace zv {
namespace {

using Byte = unsigned char;

constexpr uint64_t kHighBits = 0x8080808080808080ULL;
constexpr uint64_t kLowSevenBits = 0x7F7F7F7F7F7F7F7FULL;
constexpr uint64_t kEveryByte = 0x0101010101010101ULL;

// The eight positions where ISO-8859-15 differs from ISO-8859-1, with the
// second byte of their two-byte UTF-8 forms (all lead with C5); the euro sign
// at 0xA4 is the one three-byte form.
struct CaronOrLigature {
    Byte iso;
    Byte utf8Second;
};
constexpr CaronOrLigature kCaronsAndLigatures[] = {{0xA6, 0xA0}, {0xA8, 0xA1}, {0xB4, 0xBD},
                                                   {0xB8, 0xBE}, {0xBC, 0x92}, {0xBD, 0x93},
                                                   {0xBE, 0xB8}};
constexpr Byte kEuroIso = 0xA4;

uint64_t LoadWord(const Byte* bytes) noexcept {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// The index of the first byte in memory order whose bit 7 is set in highBits
// (which holds only such bits, at least one).
std::size_t FirstHighByte(uint64_t highBits) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        return static_cast<std::size_t>(std::countr_zero(highBits)) / 8;
    } else {
        return static_cast<std::size_t>(std::countl_zero(highBits)) / 8;
    }
}

// 0x80 in each byte of word that equals value, 0 elsewhere, with no carries
// between bytes.
uint64_t BytesEqualTo(uint64_t word, Byte value) noexcept {
    const uint64_t differing = word ^ (kEveryByte * value);
    return ~(((differing & kLowSevenBits) + kLowSevenBits) | differing | kLowSevenBits);
}

// A block of (n | 7) + 1 bytes whose last eight are zero, or null with errno
// set to ENOMEM.
Byte* AllocateWithZeroTail(std::size_t n) noexcept {
    const std::size_t size = (n | 7) + 1;
    auto* block = static_cast<Byte*>(std::malloc(size));
    if (block == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    std::memset(block + size - 8, 0, 8);
    return block;
}

// The sum of the bytes of word, each at most 31.
std::size_t SumOfBytes(uint64_t word) noexcept {
    return static_cast<std::size_t>((word * kEveryByte) >> 56);
}

std::size_t Utf8Length(const Byte* input, std::size_t length) noexcept {
    // Every byte from 0x80 up takes one byte more, the euro sign two more.
    std::size_t n = length;
    std::size_t i = 0;
    // Without a branch per word: where high bytes are common, which words
    // have some is too irregular to predict.
    for (; length - i >= 8; i += 8) {
        const uint64_t word = LoadWord(input + i);
        n += SumOfBytes(((word & kHighBits) >> 7) + (BytesEqualTo(word, kEuroIso) >> 7));
    }
    for (; i < length; ++i) {
        if (input[i] >= 0x80) n += input[i] == kEuroIso ? 2 : 1;
    }
    return n;
}

// The UTF-8 forms of the bytes 0x80 to 0xFF.
struct Utf8Form {
    Byte length;
    Byte bytes[3];
};
constexpr auto kUtf8Forms = [] {
    std::array<Utf8Form, 128> forms{};
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        Utf8Form& form = forms[b - 0x80];
        if (b >= 0xC0) {
            form = {2, {0xC3, static_cast<Byte>(b - 0x40), 0}};
        } else {
            form = {2, {0xC2, static_cast<Byte>(b), 0}};
        }
    }
    for (const auto& entry : kCaronsAndLigatures)
        forms[entry.iso - 0x80] = {2, {0xC5, entry.utf8Second, 0}};
    forms[kEuroIso - 0x80] = {3, {0xE2, 0x82, 0xAC}};
    return forms;
}();

Byte* AppendUtf8(Byte* out, Byte b) noexcept {
    const Utf8Form& form = kUtf8Forms[b - 0x80];
    out[0] = form.bytes[0];
    out[1] = form.bytes[1];
    if (form.length == 3) out[2] = form.bytes[2];
    return out + form.length;
}

bool IsContinuation(Byte b) noexcept { return (b & 0xC0) == 0x80; }

// The continuation bytes a lead byte announces, or 0 for a byte that leads
// nothing (a continuation byte, 0xFE or 0xFF).
std::size_t ContinuationsOf(Byte lead) noexcept {
    if (lead >= 0xC0 && lead <= 0xDF) return 1;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead >= 0xF0 && lead <= 0xF7) return 3;
    if (lead >= 0xF8 && lead <= 0xFB) return 4;
    if (lead >= 0xFC && lead <= 0xFD) return 5;
    return 0;
}

// Converts the sequence at in, whose first byte is 0x80 or above, writing its
// ISO-8859-15 byte when it has one. Returns the number of input bytes used.
// Each byte looked at is checked before the next is read, and the terminator
// fails every check, so nothing past it is read.
std::size_t ConvertSequence(const Byte* in, Byte*& out) noexcept {
    const Byte lead = in[0];
    if (lead == 0xE2 && in[1] == 0x82 && in[2] == 0xAC) {
        *out++ = kEuroIso;
        return 3;
    }
    if ((lead == 0xC2 || lead == 0xC3) && IsContinuation(in[1])) {
        *out++ = lead == 0xC2 ? in[1] : static_cast<Byte>(in[1] + 0x40);
        return 2;
    }
    if (lead == 0xC5) {
        for (const auto& entry : kCaronsAndLigatures) {
            if (entry.utf8Second == in[1]) {
                *out++ = entry.iso;
                return 2;
            }
        }
    }
    // A well-formed sequence without an ISO-8859-15 form is dropped whole;
    // anything malformed loses one byte and the scan resumes after it.
    const std::size_t continuations = ContinuationsOf(lead);
    for (std::size_t k = 1; k <= continuations; ++k) {
        if (!IsContinuation(in[k])) return 1;
    }
    return continuations + 1;
}

// Writes the UTF-8 form of length bytes at input to out, which has room for
// it; returns its length.
std::size_t WriteUtf8(const Byte* input, std::size_t length, Byte* out) noexcept {
    Byte* const start = out;
    std::size_t i = 0;
    // The output never falls behind the input, so while eight input bytes
    // remain, eight output bytes are free too: a whole word is stored at once
    // and the part after its first high byte is then overwritten.
    while (length - i >= 8) {
        const uint64_t word = LoadWord(input + i);
        std::memcpy(out, &word, sizeof word);
        const uint64_t high = word & kHighBits;
        if (high == 0) {
            i += 8;
            out += 8;
            continue;
        }
        const std::size_t ascii = FirstHighByte(high);
        out = AppendUtf8(out + ascii, input[i + ascii]);
        i += ascii + 1;
    }
    for (; i < length; ++i) {
        if (input[i] < 0x80) {
            *out++ = input[i];
        } else {
            out = AppendUtf8(out, input[i]);
        }
    }
    return static_cast<std::size_t>(out - start);
}

// Writes the ISO-8859-15 form of length bytes of UTF-8 at input, which a
// zero byte follows somewhere, to out; returns its length. A sequence that
// starts before length is taken whole, so read (the input bytes used) may
// pass length by a few. out may be input itself, or anywhere before it:
// every byte is read before the output reaches it.
std::size_t WriteIso885915(const Byte* input, std::size_t length, Byte* out,
                           std::size_t& read) noexcept {
    Byte* const start = out;
    std::size_t i = 0;
    // The output never runs ahead of the input, so a whole word always fits.
    // A word with a high byte stores only its ASCII bytes before them: in
    // place, the rest of the word would land on input not yet read.
    while (i < length && length - i >= 8) {
        const uint64_t word = LoadWord(input + i);
        const uint64_t high = word & kHighBits;
        if (high == 0) {
            std::memcpy(out, &word, sizeof word);
            i += 8;
            out += 8;
            continue;
        }
        const std::size_t ascii = FirstHighByte(high);
        std::memmove(out, input + i, ascii);
        out += ascii;
        i += ascii;
        i += ConvertSequence(input + i, out);
    }
    while (i < length) {
        if (input[i] < 0x80) {
            *out++ = input[i++];
        } else {
            i += ConvertSequence(input + i, out);
        }
    }
    read = i;
    return static_cast<std::size_t>(out - start);
}

const Byte* BytesOf(const char* text) noexcept {
    return reinterpret_cast<const Byte*>(text != nullptr ? text : "");
}

}  // namespace

std::size_t Iso885915ToUtf8(const char* text, std::size_t length, char* out) noexcept {
    return WriteUtf8(reinterpret_cast<const Byte*>(text), length, reinterpret_cast<Byte*>(out));
}

std::size_t Utf8ToIso885915InPlace(char* text) noexcept {
    auto* bytes = reinterpret_cast<Byte*>(text);
    std::size_t read = 0;
    const std::size_t n = WriteIso885915(bytes, std::strlen(text), bytes, read);
    bytes[n] = 0;
    return n;
}

std::size_t Utf8ToIso885915Piece(char* text, std::size_t from, std::size_t to,
                                 std::size_t& written) noexcept {
    auto* bytes = reinterpret_cast<Byte*>(text);
    std::size_t read = 0;
    written += WriteIso885915(bytes + from, to - from, bytes + written, read);
    return from + read;
}

char* Iso885915ToUtf8(const char* text) noexcept {
    const Byte* input = BytesOf(text);
    const std::size_t length = std::strlen(reinterpret_cast<const char*>(input));
    const std::size_t n = Utf8Length(input, length);
    Byte* block = AllocateWithZeroTail(n);
    if (block == nullptr) return nullptr;
    WriteUtf8(input, length, block);
    return reinterpret_cast<char*>(block);
}

char* Utf8ToIso885915(const char* text) noexcept {
    const Byte* input = BytesOf(text);
    const std::size_t length = std::strlen(reinterpret_cast<const char*>(input));
    // No rule writes more than it reads, so the input's length is enough.
    Byte* block = AllocateWithZeroTail(length);
    if (block == nullptr) return nullptr;
    std::size_t read = 0;
    const std::size_t n = WriteIso885915(input, length, block, read);

    const std::size_t fittedSize = (n | 7) + 1;
    if (fittedSize != (length | 7) + 1) {
        auto* fitted = static_cast<Byte*>(std::realloc(block, fittedSize));
        if (fitted == nullptr) {
            std::free(block);
            errno = ENOMEM;
            return nullptr;
        }
        block = fitted;
    }
    std::memset(block + n, 0, fittedSize - n);
    return reinterpret_cast<char*>(block);
}

}  // namespace zv
