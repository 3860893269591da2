#include "CatalogueText.h"

#include <zlib.h>

#include <cctype>
#include <map>
#include <sstream>

namespace zn::catalogue {

namespace {

std::string UpperAscii(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// A field of digits only: istream's unsigned reading would take "-1" as a
// huge value and "12abc" as 12.
bool ReadNumber(std::istringstream& fields, unsigned& value) {
  std::string word;
  if (!(fields >> word) || word.empty() || word.size() > 9) return false;
  value = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

}  // namespace

unsigned LogId(std::string_view name) {
  const std::string upper = UpperAscii(name);
  const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(upper.data()), static_cast<uInt>(upper.size()));
  return static_cast<unsigned>(crc) & 0x7FFFFFFFu;
}

bool ValidName(std::string_view name) {
  for (const char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') return false;
  }
  return !name.empty() && name.size() < 128;
}

bool ParseCatalogue(std::string_view text, std::vector<Row>& rows, std::vector<std::string>& errors) {
  std::map<std::string, int> upperNames;
  std::map<unsigned, std::string> ids;
  int lineNumber = 0;
  bool ok = true;
  const auto problem = [&](const std::string& what) {
    errors.push_back(std::to_string(lineNumber) + ": " + what);
    ok = false;
  };
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = text.find('\n');
    std::string line(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    std::istringstream fields(line);
    Row row;
    if (!(fields >> row.name)) continue;
    std::string extra;
    if (!ReadNumber(fields, row.level) || !ReadNumber(fields, row.size) || !ReadNumber(fields, row.versions) ||
        (fields >> extra)) {
      problem("expected: name level size versions");
      continue;
    }
    if (!ValidName(row.name)) problem("invalid log name [" + row.name + "]");
    if (row.level > 15 || row.size == 0 || row.size > 1024 || row.versions == 0 || row.versions > 1000) {
      problem("value out of range for [" + row.name + "]");
    }
    row.id = LogId(row.name);
    if (!upperNames.emplace(UpperAscii(row.name), lineNumber).second) problem("[" + row.name + "] is listed twice");
    if (const auto [it, added] = ids.emplace(row.id, row.name); !added) {
      problem("[" + row.name + "] has the same id as [" + it->second + "]");
    }
    rows.push_back(row);
  }
  return ok;
}

std::string TableText(const std::vector<Row>& rows) {
  std::ostringstream out;
  out << "// Generated from log_catalogue.txt by GenerateLogCatalogue. Do not edit.\n";
  for (const Row& row : rows) {
    out << "{" << row.id << "u, \"" << row.name << "\", 0u, " << row.level << "u, " << row.size << "u, "
        << row.versions << "u},\n";
  }
  return out.str();
}

}  // namespace zn::catalogue
