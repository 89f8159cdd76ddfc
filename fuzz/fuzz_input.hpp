// Reads a fuzz input as a sequence of small values, so that each target can
// draw its choices (sizes, flags, indexes, strings) from the bytes it is given.
// Reading past the end yields zeros and empty strings, never an error: every
// input, however short, is a valid run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

namespace zvfuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, std::size_t size) noexcept : data_(data), size_(size) {}

    bool Empty() const noexcept { return position_ >= size_; }

    uint8_t TakeByte() noexcept { return Empty() ? 0 : data_[position_++]; }

    uint32_t TakeNumber() noexcept {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | TakeByte();
        return value;
    }

    // The bytes up to the next zero byte (which is consumed) or the end.
    std::string TakeString() {
        const std::size_t start = position_;
        while (position_ < size_ && data_[position_] != 0) ++position_;
        std::string text(reinterpret_cast<const char*>(data_ + start), position_ - start);
        if (position_ < size_) ++position_;
        return text;
    }

    // Up to count bytes, fewer when the input ends first.
    std::span<const uint8_t> TakeBytes(std::size_t count) noexcept {
        const std::size_t available = size_ - std::min(position_, size_);
        const std::size_t taken = std::min(count, available);
        std::span<const uint8_t> bytes(data_ + position_, taken);
        position_ += taken;
        return bytes;
    }

    std::span<const uint8_t> TakeRest() noexcept { return TakeBytes(size_); }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// Stops the run, naming the check that failed: libFuzzer reports the input,
// the replay program fails.
[[noreturn]] inline void Violated(const char* file = __builtin_FILE(),
                                  int line = __builtin_LINE()) {
    std::fprintf(stderr, "check failed at %s:%d\n", file, line);
    __builtin_trap();
}

inline void Require(bool condition, const char* file = __builtin_FILE(),
                    int line = __builtin_LINE()) {
    if (!condition) Violated(file, line);
}

}  // namespace zvfuzz
