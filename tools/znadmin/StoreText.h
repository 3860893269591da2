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
//
// Strings are shown as text when their bytes are exactly a text and its
// terminator (a multi-string: texts each with a terminator, then one more);
// numbers when they are exactly 4 (or 8) bytes. Anything else is written as
// hex(<type>):bytes, so nothing is ever lost or changed.
#pragma once

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

std::string WriteTree(const TextTree& tree);
// False with `error` ("line N: ...") when the text is not in this form.
bool ReadTree(const std::string& text, TextTree& tree, std::string& error);

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
