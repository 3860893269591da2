#include "zn/store/StoreKeys.h"

#include <algorithm>
#include <cstring>

#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXString.h"

namespace zn {
std::string ExpandInstanceKey(std::string_view key, const InstanceScope& scope) {
  std::string result;
  ExpandInstanceKey(key, scope, result);
  return result;
}

namespace {

// Fills a key in place: the key is built for every read, so it is sized
// once and its pieces are copied, not appended.
class KeyWriter {
 public:
  KeyWriter(std::string& out, std::size_t most) : m_out(out) {
    out.resize(most);
    m_next = out.data();
  }
  ~KeyWriter() { m_out.resize(static_cast<std::size_t>(m_next - m_out.data())); }

  void put(std::string_view text) {
    std::memcpy(m_next, text.data(), text.size());
    m_next += text.size();
  }
  void separator() { *m_next++ = '\\'; }
  // "/" becomes "\", runs of separators collapse and leading ones vanish
  // (what is written so far ends in a separator).
  void putRelative(std::string_view relative) {
    for (char c : relative) {
      if (c == '/') c = '\\';
      if (c == '\\' && m_next[-1] == '\\') continue;
      *m_next++ = c;
    }
  }

 private:
  std::string& m_out;
  char* m_next;
};

constexpr std::string_view kRemoteServes = "RemoteHubServes";

}  // namespace

void ExpandInstanceKey(std::string_view key, const InstanceScope& scope, std::string& result) {
  const bool relative = !key.empty() && key[0] == '~';
  const std::string_view rest = relative ? key.substr(1) : key;
  if (!relative) {
    result.assign(key);
  } else if (!scope.productHasInstances) {
    KeyWriter out(result, kProductsRoot.size() + scope.product.size() + 1 + rest.size());
    out.put(kProductsRoot);
    out.put(scope.product);
    out.separator();
    out.put(rest);
  } else if (scope.focus.empty()) {
    result.clear();
    return;
  } else {
    const bool remote = !scope.remoteCell.empty() &&
                        (FXString::EqualsNoCase(rest, "HubServe") || FXString::EqualsNoCase(rest, "__Cache"));
    const std::size_t most = kProductsRoot.size() + scope.product.size() + scope.focus.size() + rest.size() + 2 +
                             (remote ? kRemoteServes.size() + scope.remoteCell.size() + 2 : 0);
    KeyWriter out(result, most);
    out.put(kProductsRoot);
    out.put(scope.product);
    out.separator();
    out.put(scope.focus);
    out.separator();
    if (remote) {
      out.put(kRemoteServes);
      out.separator();
      out.put(scope.remoteCell);
      out.separator();
    }
    out.putRelative(rest);
  }
  if (result.find('/') != std::string::npos) std::replace(result.begin(), result.end(), '/', '\\');
}

InstanceScope FocusedScope() {
  // The focus library keeps these texts for the life of the process.
  const char* product = ZNPI_Focus::getProductName();
  const char* focus = ZNPI_Focus::getFocus();
  const char* remoteCell = ZNPI_Focus::getRemoteHubCellFocus();
  InstanceScope scope;
  scope.product = product != nullptr ? product : "";
  scope.focus = focus != nullptr ? focus : "";
  scope.remoteCell = remoteCell != nullptr ? remoteCell : "";
  scope.productHasInstances = ZNPI_Focus::getProductType() != TESSALY_PRODUCT_TYPE_NO_INSTANCE;
  return scope;
}

bool IsAbsoluteKey(std::string_view key) {
  return key.size() > 9 && FXString::EqualsNoCase(key.substr(0, 8), "SOFTWARE") && (key[8] == '\\' || key[8] == '/');
}

bool StoreValueText(uint32_t type, std::string_view data, bool withStrings, std::string& text) {
  const auto firstString = [&] { return std::string(data.data(), strnlen(data.data(), data.size())); };
  switch (type) {
    case kZnRegString:
      text = firstString();
      return true;
    case kZnRegExpandString:
    case kZnRegMultiString:
      if (!withStrings) return false;
      text = firstString();
      return true;
    case kZnRegNumber: {
      uint32_t number = 0;
      std::memcpy(&number, data.data(), std::min<std::size_t>(data.size(), 4));
      text = std::to_string(number);
      return true;
    }
    case kZnRegNumber64: {
      unsigned long long number = 0;
      std::memcpy(&number, data.data(), std::min<std::size_t>(data.size(), 8));
      text = std::to_string(number);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace zn
