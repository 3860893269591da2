// Key paths, value names and values come from outside (znadmin's arguments,
// imports, other programs). Whatever they hold, the store keeps a value
// under exactly the name it was given, reads back its exact bytes, lists it
// once, and deletes only it; a path it cannot hold is refused with a reason.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zn/store/ConfigStore.h"
#include "zn/store/StoreKeys.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/zn-fuzz-store-XXXXXX";
  if (::mkdtemp(folder) == nullptr) std::abort();
  ::setenv("ZN_CONFIG_STORE", (std::string(folder) + "/config.db").c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string path = "SOFTWARE\\Fuzz\\" + input.ConsumeRandomLengthString(300);
  const std::string name = input.ConsumeRandomLengthString(300);
  const uint32_t type = input.ConsumeIntegralInRange<uint32_t>(0, 11);
  const std::string bytes = input.ConsumeRemainingBytesAsString();

  zn::InstanceScope scope;
  scope.product = "Orvane";
  scope.focus = "Instance001";
  const std::string relative = "~" + path.substr(14);
  const std::string expanded = zn::ExpandInstanceKey(relative, scope);
  if (expanded.find("\\\\") != std::string::npos || expanded.find('/') != std::string::npos) {
    std::fprintf(stderr, "expanded [%s] from [%s]\n", expanded.c_str(), path.c_str() + 14);
    std::abort();
  }

  zn::ConfigStore& store = zn::ConfigStore::ForThisThread();
  const zn::StoreStatus written = store.writeValue(path, name, type, bytes);
  if (written != zn::StoreStatus::kOk) {
    if (written != zn::StoreStatus::kFailed || store.lastError().empty()) {
      std::fprintf(stderr, "status %d [%s]\n", static_cast<int>(written), store.lastError().c_str());
      std::abort();
    }
    return 0;
  }
  zn::StoreValue value;
  if (store.readValue(path, name, value) != zn::StoreStatus::kOk || value.type != type || value.data != bytes) {
    std::abort();
  }
  std::vector<zn::StoreEntry> entries;
  if (store.values(path, entries) != zn::StoreStatus::kOk) std::abort();
  int listed = 0;
  for (const auto& entry : entries) listed += entry.name == name && entry.data == bytes;
  if (listed != 1) std::abort();
  if (store.deleteValue(path, name) != zn::StoreStatus::kOk) std::abort();
  if (store.readValue(path, name, value) != zn::StoreStatus::kValueMissing) std::abort();
  if (store.deleteTree("SOFTWARE\\Fuzz") != zn::StoreStatus::kOk) std::abort();
  return 0;
}
