// SPDX-License-Identifier: GPL-3.0-or-later
// Bounds-checked little- and big-endian integer reads from a byte span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace varistrum {

using ByteSpan = std::span<const std::uint8_t>;

// Every reader returns 0 when the value would lie (partly) outside the span,
// so a short record can never make a decoder read past its end.
inline bool Fits(ByteSpan bytes, std::size_t offset, std::size_t size) {
    return offset <= bytes.size() && size <= bytes.size() - offset;
}

inline std::uint8_t U8(ByteSpan b, std::size_t at) {
    return Fits(b, at, 1) ? b[at] : 0;
}
inline std::int8_t S8(ByteSpan b, std::size_t at) {
    return static_cast<std::int8_t>(U8(b, at));
}

inline std::uint16_t U16LE(ByteSpan b, std::size_t at) {
    if (!Fits(b, at, 2)) return 0;
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

inline std::uint32_t U32LE(ByteSpan b, std::size_t at) {
    if (!Fits(b, at, 4)) return 0;
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

inline std::uint16_t U16BE(ByteSpan b, std::size_t at) {
    if (!Fits(b, at, 2)) return 0;
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

inline std::uint32_t U32BE(ByteSpan b, std::size_t at) {
    if (!Fits(b, at, 4)) return 0;
    return (static_cast<std::uint32_t>(b[at]) << 24) |
           (static_cast<std::uint32_t>(b[at + 1]) << 16) |
           (static_cast<std::uint32_t>(b[at + 2]) << 8) | static_cast<std::uint32_t>(b[at + 3]);
}

inline std::int16_t S16LE(ByteSpan b, std::size_t at) {
    return static_cast<std::int16_t>(U16LE(b, at));
}
inline std::int32_t S32BE(ByteSpan b, std::size_t at) {
    return static_cast<std::int32_t>(U32BE(b, at));
}

}  // namespace varistrum
