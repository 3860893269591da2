// `znadmin config import` reads text from anywhere. Reading never crashes;
// a text that reads is written back and read again to the same tree, so no
// name or value changes on a round trip; escaping of key paths is undone
// exactly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "StoreText.h"

namespace {

bool SameTree(const zn::admin::TextTree& a, const zn::admin::TextTree& b) {
  if (a.root != b.root || a.keys.size() != b.keys.size()) return false;
  for (std::size_t k = 0; k < a.keys.size(); ++k) {
    const auto& x = a.keys[k];
    const auto& y = b.keys[k];
    if (x.path != y.path || x.values.size() != y.values.size()) return false;
    for (std::size_t v = 0; v < x.values.size(); ++v) {
      if (x.values[v].name != y.values[v].name || x.values[v].type != y.values[v].type ||
          x.values[v].data != y.values[v].data) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  zn::admin::TextTree tree;
  std::string error;
  if (zn::admin::ReadTree(text, tree, error)) {
    std::string written;
    if (!zn::admin::WriteTree(tree, written, error)) std::abort();
    zn::admin::TextTree again;
    if (!zn::admin::ReadTree(written, again, error) || !SameTree(tree, again)) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  // The input as one key path and as one value.
  std::string path;
  if (!zn::admin::UnescapeKeyPath(zn::admin::EscapeKeyPath(text), path, error) || path != text) std::abort();
  uint32_t type = 0;
  std::string bytes;
  if (zn::admin::ParseValue(text, type, bytes, error)) {
    uint32_t typeAgain = 0;
    std::string bytesAgain;
    if (!zn::admin::ParseValue(zn::admin::ValueAsText(type, bytes), typeAgain, bytesAgain, error) ||
        typeAgain != type || bytesAgain != bytes) {
      std::abort();
    }
  }
  return 0;
}
