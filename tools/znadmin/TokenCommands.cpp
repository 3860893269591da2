// znadmin token: signed time-limited tokens. `sign` makes one with a
// private key given by file; `verify` checks one the way services do, with
// the signature library and public key of the instance's home folder.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#include "Admin.h"
#include "TimeArguments.h"
#include "zn/crypto/SignedToken.h"
#include "zn/crypto/ZNPassword.h"
#include "zn/log/LogSettings.h"

namespace zn::admin {
namespace {

// Nineteen digits: the longest expiry a token's two-digit length allows
// and a 64-bit time holds.
constexpr long long kLatestExpiry = 999'999'999'999'999'999LL;
constexpr long long kLongestValidity = 3650LL * 86400;  // ten years

constexpr const char* kLayout =
    "\"S001\", two digits L, L digits of the expiry time, the signature in hexadecimal";

// The private key file must be one only its owner can read, as ssh asks
// of its keys: a signing key others can read signs for them too.
void CheckKeyFile(const std::string& file) {
  struct stat about {};
  if (::stat(file.c_str(), &about) != 0) {
    if (errno == ENOENT) throw CommandError{kExitNotFound, "key file [" + file + "] does not exist"};
    throw CommandError{kExitFailure, "key file [" + file + "] cannot be read: " + std::strerror(errno)};
  }
  if (!S_ISREG(about.st_mode)) throw CommandError{kExitUsage, "key file [" + file + "] is not a regular file"};
  if ((about.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(about.st_mode & 07777));
    throw CommandError{kExitRefused, "key file [" + file + "] is open to other users (mode " + mode +
                                         "): make it 0600 with chmod"};
  }
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw CommandError{kExitFailure, "key file [" + file + "] cannot be read: " + std::strerror(errno)};
  ::close(fd);
}

long long ExpiryFrom(const std::string& expiresIn, const std::string& expiresAt, long long now) {
  if (expiresIn.empty() == expiresAt.empty()) {
    throw CommandError{kExitUsage, "give the token's expiry with --expires-in or --expires-at"};
  }
  if (!expiresIn.empty()) {
    long long seconds = 0;
    if (!ParseDuration(expiresIn, kLongestValidity, seconds)) {
      throw CommandError{kExitUsage, "[" + expiresIn + "] is not a duration (e.g. 90s, 15m, 2h, 7d) of at most " +
                                         std::to_string(kLongestValidity / 86400) + " days"};
    }
    return now + seconds;
  }
  long long at = 0;
  const char* end = expiresAt.data() + expiresAt.size();
  const auto [stop, error] = std::from_chars(expiresAt.data(), end, at);
  if (error != std::errc() || stop != end || expiresAt[0] == '-' || at <= 0 || at > kLatestExpiry) {
    throw CommandError{kExitUsage, "[" + expiresAt + "] is not a time in seconds since 1970 (1 to " +
                                       std::to_string(kLatestExpiry) + ")"};
  }
  return at;
}

int Sign(const std::string& keyFile, const std::string& expiresIn, const std::string& expiresAt,
         const std::string& data) {
  const long long now = ::time(nullptr);
  const long long expiry = ExpiryFrom(expiresIn, expiresAt, now);
  CheckKeyFile(keyFile);
  PreferInstance();  // the home folder's signature library when there is an instance
  std::string token;
  switch (const uint32_t code = SignToken(keyFile.c_str(), data, expiry, token)) {
    case 0: break;
    case kZnPwdEncodeFailed:
      return Fail("key file [" + keyFile + "] holds no Ed25519 private key (PKCS#8 PEM)", kExitUsage);
    case kZnPwdProtectFailed:
      return Fail("the signature library libZnSigLib.so was found neither in the home folder nor beside the library");
    default: return Fail("the token could not be signed (" + CodeText(code) + ")");
  }
  if (expiry <= now) Note("the token has expired already (at " + LocalTime(expiry) + ")");
  std::cout << token << "\n";
  return kExitOk;
}

// The expiry of a token already found well formed; one past a 64-bit
// time (which SignToken cannot make) shows as none.
long long ExpiryOf(const std::string& token) {
  TokenParts parts;
  if (!ParseToken(token, parts) || parts.expiresAt > static_cast<unsigned long long>(LLONG_MAX)) return 0;
  return static_cast<long long>(parts.expiresAt);
}

int Verify(const std::string& token, const std::string& data) {
  PreferInstance();
  ZNPassword password;
  bool valid = false;
  if (password.verify(secure_basic_string<char>(token.data(), token.size()),
                      secure_basic_string<char>(data.data(), data.size()), valid) == 0) {
    switch (password.getLastError()) {
      case kZnPwdBadArgument: return Fail("[" + token + "] is not a token (" + kLayout + ")", kExitUsage);
      case kZnPwdTokenExpired: return Fail("the token expired at " + LocalTime(ExpiryOf(token)));
      case kZnPwdProtectFailed: {
        const std::string home = LogSettings::HomeDirectory();
        return Fail(home.empty() ? std::string("no home folder to load libZnSigLib.so from: choose an instance")
                                 : "the signature library libZnSigLib.so is not in the home folder [" + home + "]");
      }
      default: return Fail("the token could not be checked (" + CodeText(password.getLastError()) + ")");
    }
  }
  if (!valid) {
    const std::string key = LogSettings::HomeDirectory() + "/znsig.pub";
    if (::access(key.c_str(), R_OK) != 0) Note("there is no readable public key [" + key + "]: no token is valid");
    return Fail("the token's signature is not valid for this data");
  }
  std::cout << "the token is valid until " << LocalTime(ExpiryOf(token)) << "\n";
  return kExitOk;
}

}  // namespace

void AddTokenCommands(CLI::App& app, std::vector<Handler>& handlers) {
  struct Arguments {
    std::string keyFile, expiresIn, expiresAt, data, token;
  };
  static Arguments a;  // bound by the options, lives as long as the application
  CLI::App* token = app.add_subcommand("token", "Make or check a signed time-limited token");
  token->require_subcommand(1);

  CLI::App* sign = token->add_subcommand("sign", "Sign DATA with an Ed25519 private key; print the token");
  sign->add_option("--key", a.keyFile, "The private key: a PKCS#8 PEM file only its owner can read")->required();
  CLI::Option* in = sign->add_option("--expires-in", a.expiresIn, "Valid for this long: 90s, 15m, 2h, 7d");
  CLI::Option* at = sign->add_option("--expires-at", a.expiresAt, "Valid until this time, in seconds since 1970");
  in->excludes(at);
  sign->add_option("data", a.data, "The data the token is for")->required();
  handlers.push_back({sign, [] { return Sign(a.keyFile, a.expiresIn, a.expiresAt, a.data); }});

  CLI::App* verify = token->add_subcommand(
      "verify", "Check a token for DATA with the home folder's public key (exit 0 valid, 1 not)");
  verify->add_option("token", a.token, "The token")->required();
  verify->add_option("data", a.data, "The data the token is for")->required();
  handlers.push_back({verify, [] { return Verify(a.token, a.data); }});
}

}  // namespace zn::admin
