// UTF-8 to code points as the Unicode Consortium's reference conversion does
// it: the first truncated or ill-formed sequence (overlong forms, surrogates,
// values above U+10FFFF, five- and six-byte forms) stops the conversion.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace zn::detail {

enum class Utf8Result { kOk, kSourceExhausted, kTargetExhausted, kSourceIllegal };

// "source exhausted", "target exhausted", "source illegal" (or "unknown error").
const char* Utf8ResultName(Utf8Result result);

// Converts `text` into `out`, leaving room for a terminator (written on
// success); `count` is the number of code points written.
Utf8Result Utf8ToCodePoints(std::string_view text, std::span<unsigned long> out, std::size_t& count);

}  // namespace zn::detail
