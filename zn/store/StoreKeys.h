// Key names of the store as the suite writes them: instance-relative keys
// ("~Section") and the value types of the registry with their text forms.
// Shared by every reader of the store, so that a key and a value mean the
// same to all of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zn/base/ZnExport.h"
#include "zn/store/ConfigStore.h"

// Registry value type codes, kept by the store with every value.
inline constexpr unsigned long kZnRegString = 1;        // REG_SZ
inline constexpr unsigned long kZnRegExpandString = 2;  // REG_EXPAND_SZ
inline constexpr unsigned long kZnRegNumber = 4;        // REG_DWORD
inline constexpr unsigned long kZnRegMultiString = 7;   // REG_MULTI_SZ
inline constexpr unsigned long kZnRegNumber64 = 11;     // REG_QWORD

namespace zn {

// The root of every product's keys.
inline constexpr std::string_view kProductsRoot = "SOFTWARE\\Tessaly Systems\\";

// Where an instance-relative key leads.
struct ZN_EXPORT InstanceScope {
  std::string_view product;     // "Orvane"
  std::string_view focus;       // the instance; empty when unknown
  std::string_view remoteCell;  // the remote hub cell focus, if any
  bool productHasInstances = true;
};

// The absolute store path of `key`: "~Rest" is the instance's key "Rest"
// (or the product's, for a product without instances; "HubServe" and
// "__Cache" of a remote cell live under its RemoteHubServes key), anything
// else is absolute. "/" becomes "\", and in a relative key runs of them
// collapse (the store ignores empty names either way). Empty when
// the key is relative and the scope has no focus.
ZN_EXPORT std::string ExpandInstanceKey(std::string_view key, const InstanceScope& scope);
// The same into `out`, which keeps its capacity for the next key.
ZN_EXPORT void ExpandInstanceKey(std::string_view key, const InstanceScope& scope, std::string& out);

// The scope of this process's focus (ZNPI_Focus).
ZN_EXPORT InstanceScope FocusedScope();

// True for "SOFTWARE\..." (either separator): a key outside any instance.
ZN_EXPORT bool IsAbsoluteKey(std::string_view key);

// The text of a value as the enumerating readers show it: a string type as
// its first string, a number in decimal; false for the types they skip
// (binary, and the expandable and multi-strings unless `withStrings`).
ZN_EXPORT bool StoreValueText(uint32_t type, std::string_view data, bool withStrings, std::string& text);

}  // namespace zn
