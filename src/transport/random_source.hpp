// The operating system's secure random source, behind one function so that
// each platform brings its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

// Fills size bytes at bytes from the secure source. Returns false when the
// source fails; the bytes are then not to be used.
bool FillWithSecureRandom(uint8_t* bytes, std::size_t size) noexcept;

}  // namespace zv
