// The log catalogue's data file, read at build time: one log per line,
// "name level size versions", "#" starting a comment. Kept apart from the
// generator's main so the reading can be fuzzed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zn::catalogue {

struct Row {
  std::string name;
  unsigned level = 0;
  unsigned size = 0;
  unsigned versions = 0;
  unsigned id = 0;
};

// The id rule: CRC-32 of the name upper-cased in ASCII, top bit cleared.
unsigned LogId(std::string_view name);

// Letters, digits, "_", "-" and "."; 1 to 127 of them.
bool ValidName(std::string_view name);

// Every row of `text`; false when a line is malformed, a value is out of
// range, or a name or id is listed twice, with one "<line>: <problem>" text
// per problem in `errors` (the rows read are kept either way).
bool ParseCatalogue(std::string_view text, std::vector<Row>& rows, std::vector<std::string>& errors);

// The compiled table's text, one initialiser per row.
std::string TableText(const std::vector<Row>& rows);

}  // namespace zn::catalogue
