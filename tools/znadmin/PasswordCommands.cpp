// znadmin config password: storing a password and checking one against
// what is stored. The password is read from the terminal without echo, or
// from standard input with --stdin; never from the command line, where
// every user of the machine could read it in /proc.

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>

#include "Admin.h"
#include "ConfigValues.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/secure_basic_string.h"

namespace zn::admin {
namespace {

using Secret = secure_basic_string<char>;

// Echo off on the terminal for as long as the object lives.
class NoEcho {
 public:
  explicit NoEcho(int fd) : m_fd(fd) {
    if (::tcgetattr(fd, &m_saved) != 0) return;
    termios quiet = m_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    m_active = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
  }
  ~NoEcho() {
    if (m_active) ::tcsetattr(m_fd, TCSAFLUSH, &m_saved);
  }
  NoEcho(const NoEcho&) = delete;
  NoEcho& operator=(const NoEcho&) = delete;

 private:
  int m_fd;
  termios m_saved{};
  bool m_active = false;
};

// One line of standard input without its line end, read byte by byte into
// wiping memory (a stream's own buffer would keep a copy).
bool ReadSecretLine(Secret& line) {
  line.clear();
  char c = 0;
  bool any = false;
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return any;
    any = true;
    if (c == '\n') break;
    line.push_back(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  c = 0;
  return true;
}

// The password from the terminal (asked twice when `confirm`) or from
// standard input with --stdin.
Secret ReadPassword(bool fromStdin, bool confirm) {
  Secret password;
  if (fromStdin) {
    if (!ReadSecretLine(password)) throw CommandError{kExitUsage, "no password on standard input"};
    return password;
  }
  if (::isatty(STDIN_FILENO) == 0) {
    throw CommandError{kExitUsage, "standard input is not a terminal: give the password with --stdin"};
  }
  NoEcho quiet(STDIN_FILENO);
  std::cerr << "Password: " << std::flush;
  if (!ReadSecretLine(password)) throw CommandError{kExitUsage, "no password given"};
  if (confirm) {
    Secret again;
    std::cerr << "Again: " << std::flush;
    if (!ReadSecretLine(again) || again != password) throw CommandError{kExitUsage, "the two passwords differ"};
  }
  return password;
}

int SetPassword(const std::string& key, const std::string& name, bool fromStdin) {
  if (!key.empty() && key[0] == '~') RequireInstance();
  const Secret plain = ReadPassword(fromStdin, !fromStdin);
  if (plain.size() > ZNPassword::kMaxPlain) {
    return Fail("the password is longer than " + std::to_string(ZNPassword::kMaxPlain) + " characters", kExitUsage);
  }
  ZNPassword password;
  Secret encoded;
  // The library's own choice of format: the machine key where it is on.
  if (password.encryptV8(plain, encoded) == 0) {
    return Fail("the password could not be encoded (" + CodeText(password.getLastError()) + ")");
  }
  ZNPlatformInfo store(0, 0);
  if (store.setPassword(key.c_str(), name.c_str(), &password) == 0) {
    return Fail("[" + name + "] could not be written in [" + key + "]: " + store.getLastErrorMsg());
  }
  std::cout << "stored [" << name << "] in [" << store.expandKeyName(key.c_str()) << "] as format "
            << static_cast<char>(password.getEncryptVersion()) << "\n";
  return kExitOk;
}

int CheckPassword(const std::string& key, const std::string& name, bool fromStdin) {
  if (!key.empty() && key[0] == '~') RequireInstance();
  ZNPlatformInfo store(0, 0);
  ZNPassword stored;
  if (store.getPassword(key.c_str(), name.c_str(), &stored) == 0) {
    switch (store.getRegError()) {
      case -2: return Fail("key [" + key + "] does not exist", kExitNotFound);
      case -3: return Fail("value [" + name + "] does not exist in [" + key + "]", kExitValueMissing);
      default: return Fail("[" + name + "] could not be read: " + store.getLastErrorMsg());
    }
  }
  const std::string marker(stored.getEncoded().substr(0, 1));
  if (ZNPassword::isHashPassword(marker.c_str())) {
    return Fail("[" + name + "] holds a one-way hash, which is checked with its salt by its service", kExitUsage);
  }
  const Secret plain = ReadPassword(fromStdin, false);
  if (stored.comparePwd(plain.c_str()) != 0) {
    std::cout << "the password matches [" << name << "]\n";
    return kExitOk;
  }
  if (stored.getLastError() == kZnPwdDifferent) return Fail("the password does not match [" + name + "]");
  return Fail("[" + name + "] could not be decoded (" + CodeText(stored.getLastError()) + ")");
}

}  // namespace

void AddPasswordCommands(CLI::App& config, std::vector<Handler>& handlers) {
  CLI::App* password = config.add_subcommand("password", "Store a password encoded, or check one against the store");
  password->require_subcommand(1);
  struct Arguments {
    std::string key, name;
    bool fromStdin = false;
  };
  static Arguments a;
  const char* keyHelp = "Key: \"~section\" below the instance, or an absolute path (\\ or /)";
  const char* stdinHelp = "Read the password as one line of standard input instead of the terminal";

  CLI::App* set = password->add_subcommand(
      "set", "Encode a password read from the terminal (asked twice, no echo) and store it");
  set->add_option("key", a.key, keyHelp)->required();
  set->add_option("name", a.name, "Value name")->required();
  set->add_flag("--stdin", a.fromStdin, stdinHelp);
  handlers.push_back({set, [] { return SetPassword(a.key, a.name, a.fromStdin); }});

  CLI::App* check = password->add_subcommand("check", "Tell whether a password is the one stored (exit 0) or not (1)");
  check->add_option("key", a.key, keyHelp)->required();
  check->add_option("name", a.name, "Value name")->required();
  check->add_flag("--stdin", a.fromStdin, stdinHelp);
  handlers.push_back({check, [] { return CheckPassword(a.key, a.name, a.fromStdin); }});
}

}  // namespace zn::admin
