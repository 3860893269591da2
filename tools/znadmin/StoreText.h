// The text form of a key tree that `znadmin config export` writes and
// `import` reads back byte for byte:
//
//   # ZaRorozIvi configuration export
//   #root SOFTWARE\Tessaly Systems\Orvane\Instance001
//   [SOFTWARE\Tessaly Systems\Orvane\Instance001\EventManager]
//   "zndemo_DEBUGLEVEL"=number:2
//   "sName"=string:"text with \"quotes\" and \n escapes"
//   "dLogs"=expand:"/var/log/tessaly"
//   "mList"=multi:"a","b",""
//   "qBig"=qword:18446744073709551615
//   "odd"=hex(1):61,62
//   #end 2 keys 6 values
//
// Strings are shown as text when their bytes are exactly a text and its
// terminator (a multi-string: texts each with a terminator, then one more);
// numbers when they are exactly 4 (or 8) bytes. Anything else is written as
// hex(<type>):bytes, so nothing is ever lost or changed.
//
// Every name is escaped, so no name can end a line or pass for something
// else: value names (and texts) are quoted with backslash escapes; key
// paths, in "[...]" and after "#root", write "%" and every control byte
// (0x00-0x1F, 0x7F) as "%" and two hex digits ("\" separates the path's
// names and cannot be part of one). The "#end" line counts the keys and
// values: a text without it, or whose counts differ, was cut short and is
// refused whole. Lines starting with "#" are comments otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zn::admin {

struct TextValue {
  std::string name;
  uint32_t type = 0;
  std::string data;
};

struct TextKey {
  std::string path;
  std::vector<TextValue> values;
};

struct TextTree {
  std::string root;
  std::vector<TextKey> keys;  // parents before children
};

// The limits of the form, which an import checks before it parses: a line
// (one value: a binary value of up to 2.6 MiB in hex) and the whole text.
inline constexpr std::size_t kMaxLineBytes = 8 * 1024 * 1024;
inline constexpr std::size_t kMaxTextBytes = 64 * 1024 * 1024;

// False with `error` when a line or the whole text would pass the limits.
bool WriteTree(const TextTree& tree, std::string& text, std::string& error);
// False with `error` ("line N: ...") when the text is not in this form, or
// is not whole.
bool ReadTree(const std::string& text, TextTree& tree, std::string& error);

// A key path as the key and root lines write it, and back.
std::string EscapeKeyPath(const std::string& path);
bool UnescapeKeyPath(const std::string& text, std::string& path, std::string& error);

// One value as the export shows it (after the "=").
std::string ValueAsText(uint32_t type, const std::string& data);
// Parses what follows the "=".
bool ParseValue(const std::string& text, uint32_t& type, std::string& data, std::string& error);

// "string", "expand", "number", "multi", "qword", or "type <n>".
std::string TypeName(uint32_t type);

// Quoted with backslash escapes: \\ \" \n \r \t and \xHH for other control
// bytes.
std::string Quote(const std::string& text);

}  // namespace zn::admin
