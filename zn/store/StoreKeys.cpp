#include "zn/store/StoreKeys.h"

#include <cstring>

#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXString.h"

namespace zn {
std::string ExpandInstanceKey(std::string_view key, const InstanceScope& scope) {
  std::string result;
  if (!scope.productHasInstances) {
    if (!key.empty() && key[0] == '~') {
      result.append(kProductsRoot).append(scope.product).append("\\").append(key.substr(1));
    } else {
      result.assign(key);
    }
  } else if (key.empty() || key[0] != '~') {
    result.assign(key);
  } else {
    if (scope.focus.empty()) return std::string();
    const std::string_view relative = key.substr(1);
    result.append(kProductsRoot).append(scope.product).append("\\").append(scope.focus).append("\\");
    if (!scope.remoteCell.empty() &&
        (FXString::EqualsNoCase(relative, "HubServe") || FXString::EqualsNoCase(relative, "__Cache"))) {
      result.append("RemoteHubServes\\").append(scope.remoteCell).append("\\");
    }
    for (char c : relative) {
      if (c == '/') c = '\\';
      if (c == '\\' && result.back() == '\\') continue;  // runs collapse, leading ones vanish
      result.push_back(c);
    }
  }
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  return result;
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
