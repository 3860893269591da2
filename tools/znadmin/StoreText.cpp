#include "StoreText.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "zn/config/ZNPlatformInfo.h"

namespace zn::admin {
namespace {

constexpr const char* kHeader = "# ZaRorozIvi configuration export";

std::string Hex(const std::string& data) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
    if (i > 0) text += ',';
    text += byte;
  }
  return text;
}

bool IsText(const std::string& data) {
  return !data.empty() && data.back() == '\0' && data.find('\0') == data.size() - 1;
}

// Texts each with a terminator, then one more terminator.
bool IsMultiText(const std::string& data, std::vector<std::string>& items) {
  items.clear();
  if (data.size() < 2 || data[data.size() - 1] != '\0' || data[data.size() - 2] != '\0') return false;
  std::size_t start = 0;
  while (start < data.size() - 1) {
    const std::size_t end = data.find('\0', start);
    items.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  // "a\0\0" is one item; "\0\0" is one empty item.
  return true;
}

// Reads a quoted text at `at`; moves `at` past it.
bool Unquote(const std::string& line, std::size_t& at, std::string& text, std::string& error) {
  text.clear();
  if (at >= line.size() || line[at] != '"') {
    error = "expected a quoted text";
    return false;
  }
  for (++at; at < line.size(); ++at) {
    const char c = line[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (c != '\\') {
      text.push_back(c);
      continue;
    }
    if (++at >= line.size()) break;
    switch (line[at]) {
      case '\\': text.push_back('\\'); break;
      case '"': text.push_back('"'); break;
      case 'n': text.push_back('\n'); break;
      case 'r': text.push_back('\r'); break;
      case 't': text.push_back('\t'); break;
      case 'x': {
        unsigned value = 0;
        if (at + 2 >= line.size() ||
            std::from_chars(line.data() + at + 1, line.data() + at + 3, value, 16).ptr != line.data() + at + 3) {
          error = "bad \\x escape";
          return false;
        }
        text.push_back(static_cast<char>(value));
        at += 2;
        break;
      }
      default:
        error = std::string("unknown escape \\") + line[at];
        return false;
    }
  }
  error = "unterminated quoted text";
  return false;
}

bool ParseHexBytes(const std::string& text, std::string& data, std::string& error) {
  data.clear();
  std::size_t at = 0;
  while (at < text.size()) {
    unsigned value = 0;
    const auto parsed = std::from_chars(text.data() + at, text.data() + std::min(text.size(), at + 2), value, 16);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + std::min(text.size(), at + 2)) {
      error = "bad hex bytes";
      return false;
    }
    data.push_back(static_cast<char>(value));
    at += 2;
    if (at < text.size()) {
      if (text[at] != ',') {
        error = "hex bytes must be separated by ','";
        return false;
      }
      ++at;
    }
  }
  return true;
}

template <typename Integer>
bool ParseInteger(const std::string& text, Integer& value) {
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
  return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

// The last line of an export.
std::string EndLine(std::size_t keys, std::size_t values) {
  return "#end " + std::to_string(keys) + " keys " + std::to_string(values) + " values";
}

}  // namespace

std::string Quote(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '\\': quoted += "\\\\"; break;
      case '"': quoted += "\\\""; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\t': quoted += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(c));
          quoted += escape;
        } else {
          quoted.push_back(c);
        }
    }
  }
  return quoted + "\"";
}

std::string TypeName(uint32_t type) {
  switch (type) {
    case kZnRegString: return "string";
    case kZnRegExpandString: return "expand";
    case kZnRegNumber: return "number";
    case kZnRegMultiString: return "multi";
    case kZnRegNumber64: return "qword";
    default: return "type " + std::to_string(type);
  }
}

std::string ValueAsText(uint32_t type, const std::string& data) {
  if ((type == kZnRegString || type == kZnRegExpandString) && IsText(data)) {
    return TypeName(type) + ":" + Quote(data.substr(0, data.size() - 1));
  }
  std::vector<std::string> items;
  if (type == kZnRegMultiString && IsMultiText(data, items)) {
    std::string text = "multi:";
    for (std::size_t i = 0; i < items.size(); ++i) text += (i > 0 ? "," : "") + Quote(items[i]);
    return text;
  }
  if (type == kZnRegNumber && data.size() == 4) {
    uint32_t number = 0;
    std::memcpy(&number, data.data(), 4);
    return "number:" + std::to_string(number);
  }
  if (type == kZnRegNumber64 && data.size() == 8) {
    unsigned long long number = 0;
    std::memcpy(&number, data.data(), 8);
    return "qword:" + std::to_string(number);
  }
  return "hex(" + std::to_string(type) + "):" + Hex(data);
}

bool ParseValue(const std::string& text, uint32_t& type, std::string& data, std::string& error) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) {
    error = "expected <type>:<value>";
    return false;
  }
  const std::string kind = text.substr(0, colon);
  const std::string rest = text.substr(colon + 1);
  if (kind == "string" || kind == "expand") {
    type = kind == "string" ? kZnRegString : kZnRegExpandString;
    std::size_t at = 0;
    if (!Unquote(rest, at, data, error)) return false;
    if (at != rest.size()) {
      error = "text after the quoted value";
      return false;
    }
    data.push_back('\0');
    return true;
  }
  if (kind == "multi") {
    type = kZnRegMultiString;
    data.clear();
    std::size_t at = 0;
    while (true) {
      std::string item;
      if (!Unquote(rest, at, item, error)) return false;
      data += item;
      data.push_back('\0');
      if (at == rest.size()) break;
      if (rest[at] != ',') {
        error = "multi items must be separated by ','";
        return false;
      }
      ++at;
    }
    data.push_back('\0');
    return true;
  }
  if (kind == "number") {
    uint32_t number = 0;
    if (!ParseInteger(rest, number)) {
      error = "bad 32-bit number";
      return false;
    }
    type = kZnRegNumber;
    data.assign(reinterpret_cast<const char*>(&number), 4);
    return true;
  }
  if (kind == "qword") {
    unsigned long long number = 0;
    if (!ParseInteger(rest, number)) {
      error = "bad 64-bit number";
      return false;
    }
    type = kZnRegNumber64;
    data.assign(reinterpret_cast<const char*>(&number), 8);
    return true;
  }
  if (kind.rfind("hex(", 0) == 0 && kind.back() == ')') {
    if (!ParseInteger(kind.substr(4, kind.size() - 5), type)) {
      error = "bad type code";
      return false;
    }
    return ParseHexBytes(rest, data, error);
  }
  error = "unknown value kind [" + kind + "]";
  return false;
}

std::string EscapeKeyPath(const std::string& path) {
  std::string text;
  text.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '%' || byte < 0x20 || byte == 0x7F) {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", byte);
      text += escape;
    } else {
      text.push_back(c);
    }
  }
  return text;
}

bool UnescapeKeyPath(const std::string& text, std::string& path, std::string& error) {
  path.clear();
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte == 0x7F) {
      error = "a control character in a key name";
      return false;
    }
    if (text[at] != '%') {
      path.push_back(text[at]);
      continue;
    }
    unsigned value = 0;
    if (at + 2 >= text.size()) {
      error = "bad % escape in a key name";
      return false;
    }
    const auto parsed = std::from_chars(text.data() + at + 1, text.data() + at + 3, value, 16);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + at + 3) {
      error = "bad % escape in a key name";
      return false;
    }
    path.push_back(static_cast<char>(value));
    at += 2;
  }
  return true;
}

bool WriteTree(const TextTree& tree, std::string& text, std::string& error) {
  text = std::string(kHeader) + "\n#root " + EscapeKeyPath(tree.root) + "\n";
  std::size_t values = 0;
  for (const TextKey& key : tree.keys) {
    text += "\n[" + EscapeKeyPath(key.path) + "]\n";
    for (const TextValue& value : key.values) {
      const std::string line = Quote(value.name) + "=" + ValueAsText(value.type, value.data);
      // What an import would refuse is not written.
      if (line.size() + 1 > kMaxLineBytes) {
        error = "value [" + value.name + "] of [" + key.path + "] takes more than " +
                std::to_string(kMaxLineBytes) + " bytes in an export";
        return false;
      }
      text += line;
      text += '\n';
      ++values;
    }
    if (text.size() > kMaxTextBytes) {
      error = "the export would be larger than " + std::to_string(kMaxTextBytes) + " bytes";
      return false;
    }
  }
  text += EndLine(tree.keys.size(), values) + "\n";
  return true;
}

bool ReadTree(const std::string& text, TextTree& tree, std::string& error) {
  tree = TextTree();
  std::size_t at = 0;
  std::size_t number = 0;
  std::size_t values = 0;
  bool ended = false;
  auto failAt = [&](const std::string& what) {
    error = "line " + std::to_string(number) + ": " + what;
    return false;
  };
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (ended) {
      if (line.empty()) continue;
      return failAt("text after the end line");
    }
    if (line.rfind("#end ", 0) == 0) {
      const std::string counted = EndLine(tree.keys.size(), values);
      if (line != counted) {
        return failAt("the end line [" + line + "] does not match the text before it [" + counted +
                      "]: it is not whole");
      }
      ended = true;
      continue;
    }
    if (line.rfind("#root ", 0) == 0) {
      if (!UnescapeKeyPath(line.substr(6), tree.root, error)) return failAt(error);
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      std::string path;
      if (line.size() < 3 || line.back() != ']') return failAt("bad key line");
      if (!UnescapeKeyPath(line.substr(1, line.size() - 2), path, error)) return failAt(error);
      tree.keys.push_back({std::move(path), {}});
      continue;
    }
    if (tree.keys.empty()) return failAt("a value before any key");
    TextValue value;
    std::size_t pos = 0;
    std::string problem;
    if (!Unquote(line, pos, value.name, problem)) return failAt(problem);
    if (pos >= line.size() || line[pos] != '=') return failAt("expected '=' after the value name");
    if (!ParseValue(line.substr(pos + 1), value.type, value.data, problem)) return failAt(problem);
    tree.keys.back().values.push_back(std::move(value));
    ++values;
  }
  if (!ended) {
    error = "no end line (\"#end <n> keys <n> values\"): the text is cut short or is not an export";
    return false;
  }
  if (tree.root.empty() && !tree.keys.empty()) tree.root = tree.keys.front().path;
  return true;
}

}  // namespace zn::admin
