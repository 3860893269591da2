// The product's built-in secrets, all in one place. Texts and keys made
// with them can only be read back with the same values: they never change.
#pragma once

#include <string_view>

namespace zn::detail {

// Key material of format '3' when no pass phrase is given.
inline constexpr std::string_view kDefaultPassPhrase = "{5c1e9a73-0d2b-4f86-b7e4-93a1c6f02d58}";
static_assert(kDefaultPassPhrase.size() == 38);

// The substitution table of the legacy formats '1' and '2' and of the
// network form: 61 distinct printable characters.
inline constexpr std::string_view kSubstitutionTable =
    "QmZ7xkPbW9eRtLc0NvYhGsJ4uDfA8iKoE5qHaTnXrB6gVwMlU2jCSyFpIzdO!";
static_assert(kSubstitutionTable.size() == 61);

// The fixed AES key of Znc::wrapKey (method 1), which protects stored keys.
inline constexpr unsigned char kKeyWrapKey[16] = {0x9e, 0x14, 0x6b, 0xd2, 0x37, 0xa8, 0x51, 0xcf,
                                                  0x0c, 0x7d, 0xe3, 0x46, 0xb9, 0x28, 0x85, 0xf1};

}  // namespace zn::detail
