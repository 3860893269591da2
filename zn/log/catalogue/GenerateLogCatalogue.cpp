// Turns the log catalogue's data file into the compiled table. Build-time
// tool: reads the data file, computes each row's id from its name, refuses
// duplicate names and ids and values out of range, and writes the table.

#include <zlib.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Row {
  std::string name;
  unsigned level;
  unsigned size;
  unsigned versions;
  unsigned id;
};

unsigned LogId(const std::string& name) {
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(upper.data()), static_cast<uInt>(upper.size()));
  return static_cast<unsigned>(crc) & 0x7FFFFFFFu;
}

bool ValidName(const std::string& name) {
  for (const char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') return false;
  }
  return !name.empty() && name.size() < 128;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: GenerateLogCatalogue <catalogue.txt> <output.inc>\n";
    return 2;
  }
  std::ifstream input(argv[1]);
  if (!input) {
    std::cerr << argv[1] << ": cannot open\n";
    return 1;
  }
  std::vector<Row> rows;
  std::map<std::string, int> upperNames;
  std::map<unsigned, std::string> ids;
  std::string text;
  int lineNumber = 0;
  bool ok = true;
  while (std::getline(input, text)) {
    ++lineNumber;
    const auto hash = text.find('#');
    if (hash != std::string::npos) text.resize(hash);
    std::istringstream fields(text);
    Row row{};
    if (!(fields >> row.name)) continue;
    std::string extra;
    if (!(fields >> row.level >> row.size >> row.versions) || (fields >> extra)) {
      std::cerr << argv[1] << ":" << lineNumber << ": expected: name level size versions\n";
      ok = false;
      continue;
    }
    if (!ValidName(row.name)) {
      std::cerr << argv[1] << ":" << lineNumber << ": invalid log name [" << row.name << "]\n";
      ok = false;
    }
    if (row.level > 15 || row.size == 0 || row.size > 1024 || row.versions == 0 || row.versions > 1000) {
      std::cerr << argv[1] << ":" << lineNumber << ": value out of range for [" << row.name << "]\n";
      ok = false;
    }
    row.id = LogId(row.name);
    std::string upper = row.name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!upperNames.emplace(upper, lineNumber).second) {
      std::cerr << argv[1] << ":" << lineNumber << ": [" << row.name << "] is listed twice\n";
      ok = false;
    }
    if (const auto [it, added] = ids.emplace(row.id, row.name); !added) {
      std::cerr << argv[1] << ":" << lineNumber << ": [" << row.name << "] has the same id as [" << it->second
                << "]\n";
      ok = false;
    }
    rows.push_back(row);
  }
  if (!ok) return 1;

  std::ostringstream out;
  out << "// Generated from log_catalogue.txt by GenerateLogCatalogue. Do not edit.\n";
  for (const Row& row : rows) {
    out << "{" << row.id << "u, \"" << row.name << "\", 0u, " << row.level << "u, " << row.size << "u, "
        << row.versions << "u},\n";
  }
  // Write only when the text changed, so an unchanged catalogue rebuilds nothing.
  std::ifstream previous(argv[2]);
  std::stringstream old;
  old << previous.rdbuf();
  if (previous && old.str() == out.str()) return 0;
  std::ofstream output(argv[2], std::ios::trunc);
  output << out.str();
  return output ? 0 : 1;
}
