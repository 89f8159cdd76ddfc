// Ownership of a block from malloc that holds plaintext: it is wiped before
// it goes back to the allocator.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <utility>

#include "crypto/crypto.hpp"

namespace zv {

template <typename T>
class WipedBlock {
public:
    WipedBlock() noexcept = default;
    WipedBlock(T* data, std::size_t size) noexcept : data_(data), size_(data ? size : 0) {}
    ~WipedBlock() { Reset(); }
    WipedBlock(WipedBlock&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    WipedBlock& operator=(WipedBlock&& other) noexcept {
        if (this != &other) {
            Reset();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }
    WipedBlock(const WipedBlock&) = delete;
    WipedBlock& operator=(const WipedBlock&) = delete;

    T* Get() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }

    // Changes how much of the block is wiped when it goes: what has been
    // written so far, or nothing once only ciphertext is left.
    void SetWipedSize(std::size_t size) noexcept { size_ = size; }

    void Reset() noexcept {
        if (data_ != nullptr) {
            SecureWipe(data_, size_ * sizeof(T));
            std::free(data_);
        }
        data_ = nullptr;
        size_ = 0;
    }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace zv
