#pragma once
// Small text helpers for the rules of setup-information files and for the
// installer tool's messages: no runtime library, so the tool can link them.

#include <cstdint>
#include <string_view>

#include "platform/ByteString.h"

namespace payload {

// Up to `count` bytes of `text` from `at` on; empty past its end. (The
// standard's substr can throw, and the tool has no exceptions.)
inline std::string_view Slice(std::string_view text, std::size_t at,
                              std::size_t count = std::string_view::npos) {
    if (at > text.size()) return std::string_view();
    const std::size_t left = text.size() - at;
    return std::string_view(text.data() + at, count < left ? count : left);
}

// ASCII letters compared without regard to case, as Windows compares
// section names, keys and hardware IDs.
bool SameText(std::string_view a, std::string_view b);
bool StartsWithText(std::string_view text, std::string_view prefix);

// A decimal number, or a hexadecimal one after 0x; false for anything else
// or a value beyond 32 bits.
bool ParseNumber(std::string_view text, std::uint32_t* value);

bool AppendDecimal(launcher::ByteString& text, std::uint32_t value);
// 0x and eight digits, as Windows writes error codes.
bool AppendHex(launcher::ByteString& text, std::uint32_t value);

}  // namespace payload
