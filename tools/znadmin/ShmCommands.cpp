// znadmin shm list | show NAME [--json]: the suite's named objects of this machine
// (mutexes, semaphores, events and mappings under /dev/shm/zn.*), with
// their kind, size, users and state. Looking at an object never uses it:
// it is read, not opened as an object, so a listing keeps nothing alive.

#include <cstdio>
#include <iostream>
#include <string>

#include "Admin.h"
#include "zn/sync/NamedKernelObject.h"

namespace zn::admin {
namespace {

// Names come from whoever made the object (or any file under /dev/shm):
// control bytes are shown as \xNN, so none reaches the terminal.
std::string Shown(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      shown += escape;
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

std::string Users(const zn::NamedObjectInfo& info) {
  std::string text = std::to_string(info.users.size());
  for (std::size_t i = 0; i < info.users.size(); ++i) {
    text += (i == 0 ? " (pid " : ", ") + std::to_string(info.users[i]);
  }
  return info.users.empty() ? text : text + ")";
}

// JSON keeps the bytes as they are (escaped by the JSON writer itself).
Json JsonOf(const zn::NamedObjectInfo& info) {
  return {{"name", info.name},   {"segment", info.segment}, {"kind", info.kind},
          {"size", info.size},   {"users", info.users},     {"state", info.state}};
}

int List(bool json) {
  const auto objects = zn::NamedKernelObject::List();
  Json data = Json::array();
  for (const zn::NamedObjectInfo& info : objects) data.push_back(JsonOf(info));
  return Emit(json, data, [&] {
    if (objects.empty()) {
      std::cout << "no named objects on this machine\n";
      return;
    }
    std::printf("%-9s %12s %6s  %s\n", "KIND", "SIZE", "USERS", "NAME: STATE");
    for (const zn::NamedObjectInfo& info : objects) {
      const std::string name = Shown(info.name.empty() ? info.segment : info.name);
      std::printf("%-9s %12llu %6zu  %s: %s\n", info.kind.c_str(), info.size, info.users.size(), name.c_str(),
                  Shown(info.state).c_str());
    }
    std::fflush(stdout);
  });
}

int Show(const std::string& name, bool json) {
  zn::NamedObjectInfo info;
  const uint32_t error = zn::NamedKernelObject::Describe(name, info);
  if (error == 2) return Fail("no named object [" + Shown(name) + "] on this machine", kExitNotFound);
  if (error != 0) {
    return Fail("cannot look at the named object [" + Shown(name) + "], error " + std::to_string(error));
  }
  if (info.name.empty()) info.name = name;
  return Emit(json, JsonOf(info), [&] {
    std::cout << "name: " << Shown(info.name) << "\n"
              << "segment: /dev/shm/" << Shown(info.segment) << "\n"
              << "kind: " << info.kind << "\n"
              << "size: " << info.size << " bytes\n"
              << "users: " << Users(info) << "\n"
              << "state: " << Shown(info.state) << "\n";
  });
}

}  // namespace

void AddShmCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* shm = app.add_subcommand("shm", "The named objects (mutexes, semaphores, events, mappings) of this machine");
  shm->require_subcommand(1);
  static std::string name;
  static bool json = false;
  CLI::App* list = shm->add_subcommand("list", "Every named object with its kind, size, users and state");
  AddJsonFlag(list, json);
  handlers.push_back({list, [] { return List(json); }});
  CLI::App* show = shm->add_subcommand("show", "One named object, by the name its programs give it");
  show->add_option("name", name, "The object's name")->required();
  AddJsonFlag(show, json);
  handlers.push_back({show, [] { return Show(name, json); }});
}

}  // namespace zn::admin
