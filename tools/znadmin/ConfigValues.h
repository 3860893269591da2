// Store values as znadmin shows and takes them. Text output uses the
// export form of StoreText.h everywhere (list, export, dry runs), so a
// value reads the same in every command; `get` prints the plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Admin.h"

namespace zn::admin {

// "00ff10"
std::string HexBytes(const std::string& data);
// "00,ff 10" or "00ff10": hex digit pairs, "," " " ":" ignored.
bool ParseHex(const std::string& text, std::string& data);

// The value plainly: texts as they are (a multi-string's items a line
// each), numbers in decimal, anything else as hex bytes.
std::string PlainValue(uint32_t type, const std::string& data);

// {"name", "type", "text": the export form, "value": the value as JSON
// (a string, a number, a list of strings) or null when its bytes are not
// one (not UTF-8, or not exactly a text or a number)}.
Json ValueJson(const std::string& name, uint32_t type, const std::string& data);

bool IsUtf8(std::string_view text);

// A stored password as `get` shows it: only its format and its length
// ("password, format 3, 81 characters"); nullopt for any other value.
// Passwords are the string values named with the letter 'p' and those
// whose text has the form of an encoded password or hash.
bool IsPasswordName(const std::string& name);
bool HasEncodedPasswordForm(std::string_view text);
std::optional<std::string> PasswordSummary(const std::string& name, uint32_t type, const std::string& data);

}  // namespace zn::admin
