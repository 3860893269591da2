#include "zn/log/LogCatalogue.h"

#include <string>
#include <unordered_map>

#include "zuzazer/CYqCRC32.h"
#include "zuzazer/FXNoDestructor.h"
#include "zuzazer/FXString.h"

namespace zn {
namespace {

constexpr ZNLogFileInfo kLogCatalogue[] = {
#include "LogCatalogueTable.inc"
};

struct CatalogueIndex {
  CatalogueIndex() {
    for (const ZNLogFileInfo& row : kLogCatalogue) {
      byId.emplace(row.id, &row);
      byName.emplace(FXString::ToUpper(row.name), &row);
    }
  }
  std::unordered_map<unsigned int, const ZNLogFileInfo*> byId;
  std::unordered_map<std::string, const ZNLogFileInfo*> byName;
};

const CatalogueIndex& Index() {
  static const yq::NoDestructor<CatalogueIndex> index;
  return index.get();
}

// Built with the library's other process-wide objects, not on first use.
[[maybe_unused]] const CatalogueIndex& g_builtAtLoad = Index();

}  // namespace

unsigned int LogIdForName(std::string_view name) {
  const std::string upper = FXString::ToUpper(name);
  return CYqCRC32::Compute(upper) & 0x7FFFFFFFu;
}

std::span<const ZNLogFileInfo> LogCatalogueRows() { return kLogCatalogue; }

const ZNLogFileInfo* FindLogById(unsigned int id) {
  const auto& byId = Index().byId;
  const auto it = byId.find(id);
  return it != byId.end() ? it->second : nullptr;
}

const ZNLogFileInfo* FindLogByName(std::string_view name) {
  const auto& byName = Index().byName;
  const auto it = byName.find(FXString::ToUpper(name));
  return it != byName.end() ? it->second : nullptr;
}

}  // namespace zn
