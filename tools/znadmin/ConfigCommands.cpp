// znadmin config: reading and changing the configuration store.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <iostream>

#include "Admin.h"
#include "ConfigValues.h"
#include "StoreFiles.h"
#include "StoreText.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/store/ConfigStore.h"
#include "zn/store/StoreKeys.h"

namespace zn::admin {
namespace {

using zn::ConfigStore;
using zn::StoreEntry;
using zn::StoreStatus;

constexpr unsigned long kRegBinary = 3;

// The full path of a key given as "~section" or absolute; empty when it
// names no key. The instance is chosen already.
std::string FullPath(const std::string& key) {
  ZNPlatformInfo store(0, 0);
  std::string path = store.expandKeyName(key.c_str());
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return ConfigStore::NormalizePath(path);
}

// Relative keys need the instance; absolute ones do not.
void NeedInstanceFor(const std::string& key) {
  if (!key.empty() && key[0] == '~') RequireInstance();
}

// The full path of a key, choosing the instance for a relative one.
std::string Expand(const std::string& key) {
  NeedInstanceFor(key);
  const std::string path = FullPath(key);
  if (path.empty()) throw CommandError{kExitUsage, "[" + key + "] names no key"};
  return path;
}

// The exit code for a store object's last failure; messages name the key
// by its full path.
int FailFrom(const ZNPlatformInfo& store, const std::string& key, const std::string& name = std::string()) {
  const std::string path = FullPath(key).empty() ? key : FullPath(key);
  switch (store.getRegError()) {
    case -2: return Fail("key [" + path + "] does not exist", kExitNotFound);
    case -3: return Fail("value [" + name + "] does not exist in [" + path + "]", kExitValueMissing);
    default: {
      const std::string message = store.getLastErrorMsg();
      return Fail(message.empty() ? "the store refused [" + path + "]" : message);
    }
  }
}

// ---- A key tree, read in one snapshot ----

struct KeyListing {
  std::string path;
  std::vector<StoreEntry> values;
  std::vector<std::string> subkeys;
};

// `path` (and with `recursive` everything below it), parents first.
// Inside a verified snapshot a key that is listed but cannot be read is
// damage, never a shorter answer.
int ReadTree(ConfigStore& store, const std::string& path, bool recursive, bool top, std::vector<KeyListing>& out) {
  KeyListing key{path, {}, {}};
  const StoreStatus status = store.values(path, key.values);
  if (status == StoreStatus::kKeyMissing) {
    return top ? Fail("key [" + path + "] does not exist", kExitNotFound)
               : Fail("key [" + path + "] is listed but cannot be read: the configuration store is damaged");
  }
  if (status != StoreStatus::kOk) return Fail(store.lastError());
  if (store.subKeys(path, key.subkeys) != StoreStatus::kOk) return Fail(store.lastError());
  const std::vector<std::string> children = key.subkeys;
  out.push_back(std::move(key));
  if (!recursive) return kExitOk;
  for (const std::string& child : children) {
    const int rc = ReadTree(store, path + "\\" + child, true, false, out);
    if (rc != kExitOk) return rc;
  }
  return kExitOk;
}

// The lines `list` and a dry run print: the export's own key and value
// lines; a subkey not shown below its key is a comment line.
std::string ListingText(const std::vector<KeyListing>& keys, bool recursive) {
  std::string out;
  for (const KeyListing& key : keys) {
    out += "[" + EscapeKeyPath(key.path) + "]\n";
    for (const StoreEntry& value : key.values) out += Quote(value.name) + "=" + ValueAsText(value.type, value.data) + "\n";
    if (recursive) continue;
    for (const std::string& child : key.subkeys) out += "# " + EscapeKeyPath(child) + "\\\n";
  }
  return out;
}

Json ListingJson(const std::string& root, const std::vector<KeyListing>& keys) {
  Json list = Json::array();
  for (const KeyListing& key : keys) {
    Json values = Json::array();
    for (const StoreEntry& value : key.values) values.push_back(ValueJson(value.name, value.type, value.data));
    list.push_back({{"path", key.path}, {"values", values}, {"subkeys", key.subkeys}});
  }
  return {{"root", root}, {"keys", list}};
}

// ---- Commands ----

int Get(const std::string& key, const std::string& name, bool raw, bool json) {
  NeedInstanceFor(key);
  ZNPlatformInfo store(0, 0);
  std::string buffer(2048, '\0');
  unsigned long type = 0;
  int size = static_cast<int>(buffer.size());
  if (!store.getRegValue(key.c_str(), name.c_str(), &type, buffer.data(), size)) {
    if (store.getRegError() != -4) return FailFrom(store, key, name);
    buffer.resize(static_cast<std::size_t>(size));
    if (!store.getRegValue(key.c_str(), name.c_str(), &type, buffer.data(), size)) return FailFrom(store, key, name);
  }
  buffer.resize(static_cast<std::size_t>(size));
  const auto code = static_cast<uint32_t>(type);
  if (const std::optional<std::string> summary = PasswordSummary(name, code, buffer)) {
    // Not even the encoded text: the built-in pass phrase would open it.
    const std::string text(buffer.data(), std::min(buffer.size(), buffer.find('\0')));
    Json data = {{"name", name}, {"type", "string"}, {"key", Expand(key)},
                 {"password", {{"format", text.empty() ? std::string() : text.substr(0, 1)}, {"length", text.size()}}}};
    return Emit(json, data, [&] { std::cout << "(" << *summary << ")\n"; });
  }
  Json data = ValueJson(name, code, buffer);
  data["key"] = Expand(key);
  return Emit(json, data, [&] {
    if (raw) {
      std::cout << type << " " << HexBytes(buffer) << "\n";
    } else {
      std::cout << PlainValue(code, buffer) << "\n";
    }
  });
}

std::string DefaultTypeFor(const std::string& name) {
  switch (name.empty() ? 's' : name[0]) {
    case 'n':
    case 'b': return "number";
    case 'd': return "expand";
    default: return "string";
  }
}

int Set(const std::string& key, const std::string& name, const std::vector<std::string>& values, std::string type) {
  if (type.empty()) type = DefaultTypeFor(name);
  unsigned long code = kZnRegString;
  std::string data;
  if (values.empty()) return Fail("no value given for [" + name + "]", kExitUsage);
  if (IsPasswordName(name) && !HasEncodedPasswordForm(values.front())) {
    return Fail("[" + name + "] holds a password: store it with 'znadmin config password set', which encodes it",
                kExitRefused);
  }
  if (type != "multi" && values.size() != 1) return Fail("one value expected for type " + type, kExitUsage);
  const std::string& value = values.front();
  if (type == "string" || type == "expand") {
    code = type == "string" ? kZnRegString : kZnRegExpandString;
    data = value + '\0';
  } else if (type == "multi") {
    code = kZnRegMultiString;
    for (const std::string& item : values) data += item + '\0';
    data += '\0';
  } else if (type == "number") {
    uint32_t number = 0;
    const auto parsed = std::from_chars(value.data(), value.data() + value.size(), number);
    if (parsed.ec != std::errc() || parsed.ptr != value.data() + value.size()) {
      return Fail("[" + value + "] is not a 32-bit number", kExitUsage);
    }
    code = kZnRegNumber;
    data.assign(reinterpret_cast<const char*>(&number), 4);
  } else if (type == "longlong") {
    unsigned long long number = 0;
    const auto parsed = std::from_chars(value.data(), value.data() + value.size(), number);
    if (parsed.ec != std::errc() || parsed.ptr != value.data() + value.size()) {
      return Fail("[" + value + "] is not a 64-bit number", kExitUsage);
    }
    code = kZnRegString;  // 64-bit numbers are kept as decimal text
    data = std::to_string(number) + '\0';
  } else if (type == "binary") {
    if (!ParseHex(value, data)) return Fail("[" + value + "] is not a list of hex bytes", kExitUsage);
    code = kRegBinary;
    if (data.empty()) return Fail("an empty binary value cannot be written", kExitUsage);
  } else {
    return Fail("unknown type [" + type + "]", kExitUsage);
  }
  NeedInstanceFor(key);
  ZNPlatformInfo store(0, 0);
  if (!store.setRegValue(key.c_str(), name.c_str(), code, data.data(), static_cast<int>(data.size()))) {
    return FailFrom(store, key, name);
  }
  return kExitOk;
}

int List(const std::string& key, bool recursive, bool json) {
  const std::string path = Expand(key);
  ConfigStore& store = ConfigStore::ForThisThread();
  const ConfigStore::ReadSnapshot snapshot(store);  // one consistent, verified tree
  if (store.verify() != StoreStatus::kOk) return Fail(store.lastError());
  std::vector<KeyListing> keys;
  const int rc = ReadTree(store, path, recursive, true, keys);
  if (rc != kExitOk) return rc;
  return Emit(json, ListingJson(path, keys), [&] { std::cout << ListingText(keys, recursive); });
}

// Asks on the terminal; anything but y or yes is a no.
bool Confirm(const std::string& question) {
  std::cerr << "znadmin " << CommandName() << ": " << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES" || answer == "Yes";
}

struct DeleteOptions {
  bool recursive = false;
  bool dryRun = false;
  bool yes = false;
};

int DeleteValue(const std::string& key, const std::string& name, const DeleteOptions& options) {
  const std::string path = Expand(key);
  ConfigStore& store = ConfigStore::ForThisThread();
  if (options.dryRun) {
    zn::StoreValue value;
    const StoreStatus status = store.readValue(path, name, value);
    if (status == StoreStatus::kKeyMissing) return Fail("key [" + path + "] does not exist", kExitNotFound);
    if (status == StoreStatus::kValueMissing) {
      return Fail("value [" + name + "] does not exist in [" + path + "]", kExitValueMissing);
    }
    if (status != StoreStatus::kOk) return Fail(store.lastError());
    std::cout << "[" << EscapeKeyPath(path) << "]\n"
              << Quote(name) << "=" << ValueAsText(value.type, value.data) << "\n# would delete 1 value\n";
    return kExitOk;
  }
  ZNPlatformInfo info(0, 0);
  return info.delRegField(key.c_str(), name.c_str()) ? kExitOk : FailFrom(info, key, name);
}

int DeleteKey(const std::string& key, const DeleteOptions& options) {
  const std::string path = Expand(key);
  ConfigStore& store = ConfigStore::ForThisThread();
  std::vector<KeyListing> keys;
  {
    const ConfigStore::ReadSnapshot snapshot(store);
    const int rc = ReadTree(store, path, true, true, keys);
    if (rc != kExitOk) return rc;
  }
  std::size_t values = 0;
  for (const KeyListing& listed : keys) values += listed.values.size();
  const std::string what = std::to_string(keys.size()) + (keys.size() == 1 ? " key" : " keys") + " and " +
                           std::to_string(values) + (values == 1 ? " value" : " values");
  if (keys.size() > 1 && !options.recursive) {
    return Fail("key [" + path + "] has subkeys (" + what + " in all): -r deletes it with everything below it, " +
                    "-r --dry-run lists them",
                kExitRefused);
  }
  if (options.dryRun) {
    std::cout << ListingText(keys, true) << "# would delete " << what << "\n";
    return kExitOk;
  }
  // A question only where someone can answer it.
  if (!options.yes && keys.size() > 1 && ::isatty(STDIN_FILENO) == 1 &&
      !Confirm("delete [" + path + "] and everything below it (" + what + ")?")) {
    return Fail("nothing deleted", kExitRefused);
  }
  const StoreStatus status = store.deleteTree(path);
  if (status == StoreStatus::kKeyMissing) return Fail("key [" + path + "] does not exist", kExitNotFound);
  if (status != StoreStatus::kOk) return Fail(store.lastError());
  return kExitOk;
}

int Copy(const std::string& from, const std::string& to, bool rename) {
  NeedInstanceFor(from);
  NeedInstanceFor(to);
  ZNPlatformInfo store(0, 0);
  const bool done = rename ? store.renameRegKey(from.c_str(), to.c_str()) : store.copyRegKey(from.c_str(), to.c_str());
  return done ? kExitOk : FailFrom(store, from);
}

bool Collect(ConfigStore& store, const std::string& path, TextTree& tree) {
  std::vector<StoreEntry> values;
  std::vector<std::string> children;
  if (store.values(path, values) != StoreStatus::kOk || store.subKeys(path, children) != StoreStatus::kOk) return false;
  TextKey key{path, {}};
  for (StoreEntry& value : values) key.values.push_back({value.name, value.type, std::move(value.data)});
  tree.keys.push_back(std::move(key));
  for (const std::string& child : children) {
    if (!Collect(store, path + "\\" + child, tree)) return false;
  }
  return true;
}

int RefuseStoreFile(const std::string& path) {
  return Fail("[" + path + "] is the configuration store [" + ConfigStore::DefaultPath() +
              "] or one of its files; choose another file");
}

// Writes to a FIFO, a device or a terminal go there directly; a file is
// written aside and takes its name once whole.
int WriteOutput(const std::string& output, const std::string& text) {
  struct stat info {};
  if (::stat(output.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    yq::UniqueFd fd(::open(output.c_str(), O_WRONLY | O_CLOEXEC));
    std::size_t done = 0;
    while (fd && done < text.size()) {
      const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    return fd && done == text.size() && fd.close() == 0 ? kExitOk : Fail("cannot write [" + output + "]");
  }
  StoreOutputFile file(output, ConfigStore::DefaultPath());
  if (!file.ok() || !file.write(text) || !file.commit(true)) return Fail(file.error());
  return kExitOk;
}

int Export(const std::string& key, const std::string& output) {
  const bool toFile = !output.empty() && output != "-";
  if (toFile && IsStoreFile(output, ConfigStore::DefaultPath())) return RefuseStoreFile(output);
  const std::string path = Expand(key);
  ConfigStore& store = ConfigStore::ForThisThread();
  const ConfigStore::ReadSnapshot snapshot(store);  // one consistent, verified tree
  const StoreStatus exists = store.keyExists(path);
  if (exists == StoreStatus::kKeyMissing) return Fail("key [" + path + "] does not exist", kExitNotFound);
  if (exists != StoreStatus::kOk || store.verify() != StoreStatus::kOk) return Fail(store.lastError());
  TextTree tree;
  tree.root = path;
  if (!Collect(store, path, tree)) return Fail(store.lastError());
  std::string text, error;
  if (!WriteTree(tree, text, error)) return Fail("cannot export [" + path + "]: " + error);
  if (!toFile) {
    std::cout << text;
    return kExitOk;
  }
  return WriteOutput(output, text);
}

int Import(const std::string& input, const std::string& into) {
  std::string text, error;
  struct stat info {};
  if (input != "-" && ::stat(input.c_str(), &info) != 0 && errno == ENOENT) {
    return Fail("file [" + input + "] does not exist", kExitNotFound);
  }
  if (!ReadExportText(input, text, error)) return Fail(error);
  TextTree tree;
  if (!ReadTree(text, tree, error)) return Fail("[" + input + "]: " + error);
  std::string newRoot;
  if (!into.empty()) newRoot = Expand(into);
  const std::string oldRoot = ConfigStore::NormalizePath(tree.root);
  std::vector<std::string> keys;
  std::vector<ConfigStore::BatchValue> values;
  for (const TextKey& key : tree.keys) {
    std::string path = ConfigStore::NormalizePath(key.path);
    if (!newRoot.empty()) {
      if (path.size() < oldRoot.size() || path.compare(0, oldRoot.size(), oldRoot) != 0) {
        return Fail("key [" + path + "] lies outside the exported root [" + oldRoot + "]");
      }
      path = newRoot + path.substr(oldRoot.size());
    }
    keys.push_back(path);
    for (const TextValue& value : key.values) values.push_back({path, value.name, value.type, value.data});
  }
  ConfigStore& store = ConfigStore::ForThisThread();
  if (store.writeBatch(keys, values) != StoreStatus::kOk) return Fail(store.lastError());
  Note("imported " + std::to_string(keys.size()) + " keys and " + std::to_string(values.size()) + " values");
  return kExitOk;
}

int Backup(const std::string& file, bool force) {
  const std::string storePath = ConfigStore::DefaultPath();
  if (IsStoreFile(file, storePath)) return RefuseStoreFile(file);
  struct stat info {};
  if (!force && ::lstat(file.c_str(), &info) == 0) return Fail("[" + file + "] exists; --force replaces it", kExitRefused);
  StoreOutputFile copy(file, storePath);
  if (!copy.ok()) return Fail(copy.error());
  ConfigStore& store = ConfigStore::ForThisThread();
  if (store.backupTo(copy.path()) != StoreStatus::kOk) return Fail(store.lastError());
  if (copy.commit(force)) return kExitOk;
  return Fail(copy.error(), ::lstat(file.c_str(), &info) == 0 && !force ? kExitRefused : kExitFailure);
}

int Check() {
  ConfigStore& store = ConfigStore::ForThisThread();
  std::string report;
  if (store.integrityCheck(report) != StoreStatus::kOk) return Fail(store.lastError());
  std::cout << report << "\n";
  return report == "ok" ? kExitOk : kExitFailure;
}

}  // namespace

void AddConfigCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* config = app.add_subcommand("config", "Read and change the configuration store");
  config->require_subcommand(1);
  // Strings the options bind to live as long as the application.
  struct Arguments {
    std::string key, name, to, file, type, into, output;
    std::vector<std::string> values;
    bool raw = false, recursive = false, force = false, json = false;
    DeleteOptions remove;
  };
  static Arguments a;
  const char* keyHelp = "Key: \"~section\" below the instance, or an absolute path (\\ or /)";

  CLI::App* get = config->add_subcommand("get", "Print a value");
  get->add_option("key", a.key, keyHelp)->required();
  get->add_option("name", a.name, "Value name")->required();
  get->add_flag("--raw", a.raw, "Print the type code and the bytes in hex");
  AddJsonFlag(get, a.json);
  handlers.push_back({get, [] { return Get(a.key, a.name, a.raw, a.json); }});

  CLI::App* set = config->add_subcommand("set", "Write a value (creating its key)");
  set->add_option("key", a.key, keyHelp)->required();
  set->add_option("name", a.name, "Value name")->required();
  set->add_option("value", a.values, "The value (several for a multi-string)")->required();
  set->add_option("--type", a.type, "string|expand|multi|number|longlong|binary (default from the name's letter)")
      ->check(CLI::IsMember({"string", "expand", "multi", "number", "longlong", "binary"}));
  handlers.push_back({set, [] { return Set(a.key, a.name, a.values, a.type); }});

  AddPasswordCommands(*config, handlers);

  CLI::App* list = config->add_subcommand("list", "List a key's values and subkeys, in the export's form");
  list->add_option("key", a.key, keyHelp)->required();
  list->add_flag("-r,--recursive", a.recursive, "The whole tree below the key");
  AddJsonFlag(list, a.json);
  handlers.push_back({list, [] { return List(a.key, a.recursive, a.json); }});

  CLI::App* remove = config->add_subcommand("delete", "Delete a value, a key, or with -r a key and all below it");
  remove->add_option("key", a.key, keyHelp)->required();
  remove->add_option("name", a.name, "Value name (without it: the key itself)");
  remove->add_flag("-r,--recursive", a.remove.recursive, "Delete a key that has subkeys, with everything below it");
  remove->add_flag("--dry-run", a.remove.dryRun, "Only list what would be deleted");
  remove->add_flag("-y,--yes", a.remove.yes, "Do not ask on a terminal before deleting a tree");
  handlers.push_back({remove, [] {
                        return a.name.empty() ? DeleteKey(a.key, a.remove) : DeleteValue(a.key, a.name, a.remove);
                      }});

  CLI::App* copy = config->add_subcommand("copy", "Copy a key tree into a new key");
  copy->add_option("from", a.key, keyHelp)->required();
  copy->add_option("to", a.to, "The new key")->required();
  handlers.push_back({copy, [] { return Copy(a.key, a.to, false); }});

  CLI::App* rename = config->add_subcommand("rename", "Move a key tree to a new key");
  rename->add_option("from", a.key, keyHelp)->required();
  rename->add_option("to", a.to, "The new key")->required();
  handlers.push_back({rename, [] { return Copy(a.key, a.to, true); }});

  CLI::App* exportCommand = config->add_subcommand("export", "Write a key tree as text");
  exportCommand->add_option("key", a.key, keyHelp)->required();
  exportCommand->add_option("-o,--output", a.output, "File to write (default: stdout)");
  handlers.push_back({exportCommand, [] { return Export(a.key, a.output); }});

  CLI::App* importCommand = config->add_subcommand("import", "Read an exported key tree back, in one transaction");
  importCommand->add_option("file", a.file, "The exported text (- for stdin)")->required();
  importCommand->add_option("--into", a.into, "Place the tree here instead of where it was exported from");
  handlers.push_back({importCommand, [] { return Import(a.file, a.into); }});

  CLI::App* backup = config->add_subcommand("backup", "Write a consistent copy of the store, even while in use");
  backup->add_option("file", a.file, "The copy to write (a new file, with the store's mode and group)")->required();
  backup->add_flag("--force", a.force, "Replace the file when it exists");
  handlers.push_back({backup, [] { return Backup(a.file, a.force); }});

  CLI::App* check = config->add_subcommand("check", "Run the store's integrity check");
  handlers.push_back({check, [] { return Check(); }});
}

}  // namespace zn::admin
