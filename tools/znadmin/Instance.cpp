// Which instance relative keys resolve to: --instance, else $ZN_FOCUS,
// else the store's only instance. A tool must not guess among several:
// it says how to choose instead.

#include <string>
#include <vector>

#include "Admin.h"
#include "zn/store/ConfigStore.h"
#include "zn/store/StoreKeys.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXString.h"

namespace zn::admin {
namespace {

std::string& Option() {
  static std::string instance;
  return instance;
}

bool& Given() {
  static bool given = false;
  return given;
}

constexpr const char* kHowToChoose = "name one with --instance NAME or $ZN_FOCUS";

// The instances of the product in the store: the subkeys of its key but
// the named locks' key.
bool StoreInstances(std::vector<std::string>& instances, std::string& error) {
  const std::string product = ZNPI_Focus::getProductName() != nullptr ? ZNPI_Focus::getProductName() : "";
  zn::ConfigStore& store = zn::ConfigStore::ForThisThread();
  std::vector<std::string> names;
  const zn::StoreStatus status = store.subKeys(std::string(zn::kProductsRoot) + product, names);
  if (status == zn::StoreStatus::kKeyMissing) return true;
  if (status != zn::StoreStatus::kOk) {
    error = store.lastError();
    return false;
  }
  for (std::string& name : names) {
    if (!FXString::EqualsNoCase(name, "Locks")) instances.push_back(std::move(name));
  }
  return true;
}

// Focuses the instance; the reason when there is no choice.
bool Choose(std::string& problem, int& code) {
  code = kExitUsage;
  if (Given()) {
    if (Option().empty()) {
      problem = "--instance needs an instance's name";
      return false;
    }
    ZNPI_Focus::setFocus(Option().c_str());
    return true;
  }
  const char* focus = ZNPI_Focus::getFocus();
  if (focus != nullptr && focus[0] != '\0') return true;
  if (focus != nullptr) {
    problem = std::string("$ZN_FOCUS is set but empty: ") + kHowToChoose;
    return false;
  }
  if (ZNPI_Focus::getProductType() == TESSALY_PRODUCT_TYPE_NO_INSTANCE) return true;  // keys lie below the product
  std::vector<std::string> instances;
  std::string error;
  if (!StoreInstances(instances, error)) {
    problem = "cannot list the instances of the store: " + error;
    code = kExitFailure;
    return false;
  }
  if (instances.size() == 1) {
    ZNPI_Focus::setFocus(instances.front().c_str());
    return true;
  }
  const std::string where = "the store [" + zn::ConfigStore::DefaultPath() + "] holds ";
  if (instances.empty()) {
    problem = "no instance chosen: " + where + "no instance of [" + ZNPI_Focus::getProductName() + "]; " + kHowToChoose;
    return false;
  }
  std::string names;
  for (const std::string& name : instances) names += (names.empty() ? "" : ", ") + name;
  problem = "no instance chosen: " + where + std::to_string(instances.size()) + " instances (" + names + "); " +
            kHowToChoose;
  return false;
}

}  // namespace

void SetInstanceOption(std::string instance) {
  Option() = std::move(instance);
  Given() = true;
}

void RequireInstance() {
  std::string problem;
  int code = kExitUsage;
  if (!Choose(problem, code)) throw CommandError{code, problem};
}

bool PreferInstance() {
  std::string problem;
  int code = kExitUsage;
  return Choose(problem, code);
}

std::string FocusedInstance() {
  const char* focus = ZNPI_Focus::getFocus();
  return focus != nullptr ? focus : "";
}

}  // namespace zn::admin
