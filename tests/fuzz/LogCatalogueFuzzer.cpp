// The log catalogue's data file is read at build time, and log names come
// from outside at run time (the store, znadmin's arguments). Reading never
// crashes; a file that reads clean gives rows the table can hold verbatim
// (a name inside a C string), unique by name and id; a name looked up is
// found only as itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "zn/log/LogCatalogue.h"
#include "zn/log/catalogue/CatalogueText.h"
#include "zuzazer/FXString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<zn::catalogue::Row> rows;
  std::vector<std::string> errors;
  if (zn::catalogue::ParseCatalogue(text, rows, errors)) {
    if (!errors.empty()) std::abort();
    std::set<std::string> names;
    std::set<unsigned> ids;
    for (const auto& row : rows) {
      if (!zn::catalogue::ValidName(row.name) || row.name.find('"') != std::string::npos) std::abort();
      if (row.level > 15 || row.size == 0 || row.size > 1024 || row.versions == 0 || row.versions > 1000) std::abort();
      if (row.id != zn::catalogue::LogId(row.name) || row.id != zn::LogIdForName(row.name)) std::abort();
      if (!names.insert(FXString::ToUpper(row.name)).second || !ids.insert(row.id).second) std::abort();
    }
    const std::string table = zn::catalogue::TableText(rows);
    std::size_t lines = 0;
    for (const char c : table) lines += c == '\n';
    if (lines != rows.size() + 1) std::abort();
  } else if (errors.empty()) {
    std::abort();
  }
  if (const ZNLogFileInfo* found = zn::FindLogByName(text)) {
    if (!FXString::EqualsNoCase(found->name, text)) std::abort();
  }
  return 0;
}
