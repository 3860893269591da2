#include "StoreText.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

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

std::string WriteTree(const TextTree& tree) {
  std::ostringstream out;
  out << kHeader << "\n#root " << tree.root << "\n";
  for (const TextKey& key : tree.keys) {
    out << "\n[" << key.path << "]\n";
    for (const TextValue& value : key.values) {
      out << Quote(value.name) << "=" << ValueAsText(value.type, value.data) << "\n";
    }
  }
  return out.str();
}

bool ReadTree(const std::string& text, TextTree& tree, std::string& error) {
  tree = TextTree();
  std::istringstream in(text);
  std::string line;
  int number = 0;
  auto failAt = [&](const std::string& what) {
    error = "line " + std::to_string(number) + ": " + what;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("#root ", 0) == 0) {
      tree.root = line.substr(6);
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      const auto close = line.rfind(']');
      if (close == std::string::npos || close == 1) return failAt("bad key line");
      tree.keys.push_back({line.substr(1, close - 1), {}});
      continue;
    }
    if (tree.keys.empty()) return failAt("a value before any key");
    TextValue value;
    std::size_t at = 0;
    std::string problem;
    if (!Unquote(line, at, value.name, problem)) return failAt(problem);
    if (at >= line.size() || line[at] != '=') return failAt("expected '=' after the value name");
    if (!ParseValue(line.substr(at + 1), value.type, value.data, problem)) return failAt(problem);
    tree.keys.back().values.push_back(std::move(value));
  }
  if (tree.root.empty() && !tree.keys.empty()) tree.root = tree.keys.front().path;
  return true;
}

}  // namespace zn::admin
