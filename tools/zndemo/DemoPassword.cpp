#include "DemoPassword.h"

#include <cstdio>

#include "zn/config/ZNPlatformInfo.h"
#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/secure_basic_string.h"
#include "zn/log/EvDebug.h"

namespace zn::demo {
namespace {
constexpr const char* kOperation = "StoredPassword";
}

std::string ReadStoredPassword(EvDebug& log) {
  ZNPlatformInfo store(0, 0);
  ZNPassword password;
  if (store.getPassword(kPasswordSection, kPasswordValue, &password) == 0 || password.isEmpty()) {
    log.Debug(kOperation, "No password stored in [%s] [%s]", kPasswordSection, kPasswordValue);
    return std::string("none stored in ") + kPasswordSection + "/" + kPasswordValue;
  }
  const char format = password.getEncoded().front();
  secure_basic_string<char> plain;
  if (password.decrypt(secure_basic_string<char>(password.getEncoded()), plain) == 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", password.getLastError());
    log.Error(kOperation, "The password in [%s] [%s] (format %c) could not be decoded: %s", kPasswordSection,
              kPasswordValue, format, code);
    return std::string("format ") + format + ", could not be decoded (" + code + ")";
  }
  log.Debug(kOperation, "The password in [%s] [%s] (format %c) decoded", kPasswordSection, kPasswordValue, format);
  return std::string("format ") + format + ", decoded: " + std::to_string(plain.size()) + " characters";
}

}  // namespace zn::demo
