// The installation's keys of the formats '5' and '8', and whether new
// passwords use '8'.
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <string>

#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/internal/MachineProtect.h"
#include "zn/crypto/internal/PasswordState.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_bucket.h"
#include "zn/store/ConfigStore.h"
#include "zn/store/StoreKeys.h"
#include "zn/sync/CNamedMutex.h"
#include "zuzazer/FXNoDestructor.h"

namespace {

using zn::ConfigStore;
using zn::StoreStatus;
using zn::StoreValue;

constexpr size_t kKeyBytes = 32;
constexpr const char* kV8Value = "GlobalMiscProp";
constexpr const char* kV5Value = "sZnPwdV5EncKey";
constexpr int kMutexWaitMs = 30000;

struct PasswordState {
  std::mutex lock;
  std::optional<secure_basic_string<char>> v8Key;
  std::optional<bool> v8Enabled;
  bool chatterChecked = false;
};

PasswordState& State() {
  static yq::NoDestructor<PasswordState> state;
  return state.get();
}

// A string value's text (without its terminator); nullopt when absent.
std::optional<std::string> ReadString(std::string_view key, std::string_view name) {
  if (key.empty()) return std::nullopt;
  StoreValue value;
  if (ConfigStore::ForThisThread().readValue(key, name, value) != StoreStatus::kOk) return std::nullopt;
  if (value.type != kZnRegString && value.type != kZnRegExpandString) return std::nullopt;
  return std::string(value.data.c_str(), ::strnlen(value.data.data(), value.data.size()));
}

std::optional<uint64_t> ReadNumber(std::string_view key, std::string_view name) {
  if (key.empty()) return std::nullopt;
  StoreValue value;
  if (ConfigStore::ForThisThread().readValue(key, name, value) != StoreStatus::kOk) return std::nullopt;
  if (value.type == kZnRegNumber && value.data.size() == 4) {
    uint32_t n = 0;
    std::memcpy(&n, value.data.data(), 4);
    return n;
  }
  if (value.type == kZnRegNumber64 && value.data.size() == 8) {
    uint64_t n = 0;
    std::memcpy(&n, value.data.data(), 8);
    return n;
  }
  if (value.type == kZnRegString) {
    const std::string text(value.data.c_str());
    return std::strtoull(text.c_str(), nullptr, 10);
  }
  return std::nullopt;
}

bool WriteString(std::string_view key, std::string_view name, const std::string& text) {
  if (key.empty()) return false;
  std::string data = text;
  data.push_back('\0');
  return ConfigStore::ForThisThread().writeValue(key, name, kZnRegString, data) == StoreStatus::kOk;
}

std::string InstanceKey(std::string_view relative) { return zn::ExpandInstanceKey(relative, zn::FocusedScope()); }

// The V5 key's instance: the focus, else the product's password focus,
// else the first instance.
std::string V5SectionKey() {
  zn::InstanceScope scope = zn::FocusedScope();
  std::string focus(scope.focus);
  if (focus.empty()) {
    focus = ReadString(zn::detail::kProductKey, "sZNPasswordFocus").value_or("");
    if (focus.empty()) focus = "Instance001";
  }
  if (scope.product.empty()) scope.product = "Orvane";
  scope.focus = focus;
  return zn::ExpandInstanceKey("~Znd", scope);
}

bool ToUtf8(const wchar_t* pwd, secure_basic_string<char>& out) {
  secure_basic_string<wchar_t> wide(pwd);
  out = ZNPassword::WideStringToUTF8String(wide);
  return true;
}

}  // namespace

void zn::detail::ResetPasswordCaches() {
  PasswordState& s = State();
  const std::lock_guard<std::mutex> guard(s.lock);
  s.v8Key.reset();
  s.v8Enabled.reset();
  s.chatterChecked = false;
}

int ZNPassword::getV5EncKey(ZncBucket& key) {
  const std::optional<std::string> stored = ReadString(V5SectionKey(), kV5Value);
  if (!stored || stored->empty()) return fail("getV5EncKey", kZnPwdKeyMissing);
  // The stored key is itself an encoded password, which must not need the
  // very key it holds.
  if (stored->front() == '5') return fail("getV5EncKey", kZnPwdKeyUnusable);
  ZNPassword wrapped(printErrors);
  secure_basic_string<char> hex;
  if (wrapped.decrypt(secure_basic_string<char>(stored->c_str()), hex) == 0 || hex.empty()) {
    return fail("getV5EncKey", kZnPwdKeyUnusable);
  }
  try {
    const ZncBucket bytes = Znc::unWrapKey(hex.c_str());
    if (bytes.getSize() <= 0) return fail("getV5EncKey", kZnPwdKeyUnusable);
    key = bytes;
  } catch (const std::exception&) {
    return fail("getV5EncKey", kZnPwdKeyUnusable);
  }
  return 1;
}

int ZNPassword::getV8EncKey(ZncBucket& key, bool create) {
  PasswordState& s = State();
  const std::lock_guard<std::mutex> guard(s.lock);
  if (s.v8Key) {
    key = ZncBucket(s.v8Key->data(), static_cast<int>(s.v8Key->size()));
    return 1;
  }
  const std::string instanceKey = InstanceKey("~Znd");
  std::optional<std::string> text = ReadString(instanceKey, kV8Value);
  if (!text) {
    text = ReadString(zn::detail::kProductKey, kV8Value);
    if (text && !instanceKey.empty() && !WriteString(instanceKey, kV8Value, *text)) {
      return fail("getV8EncKey", kZnPwdWriteFailed);
    }
  }
  if (!text) {
    if (!create) return fail("getV8EncKey", kZnPwdNoV8Key);
    CNamedMutex mutex("V8_KEK_MUTEX", nullptr, true);
    if (mutex.lock(kMutexWaitMs, true) < 0) return fail("getV8EncKey", kZnPwdKeyUnusable);
    struct Unlock {
      CNamedMutex& m;
      ~Unlock() { m.unlock(); }
    } unlock{mutex};
    // Another process may have made it while this one waited.
    text = ReadString(zn::detail::kProductKey, kV8Value);
    if (!text) {
      ZncBucket blob;
      std::string error;
      try {
        const ZncBucket fresh = Znc::getRand(static_cast<int>(kKeyBytes));
        if (!zn::detail::MachineProtect(fresh, blob, error)) {
          if (printErrors != 0) std::printf("\n%s\n", error.c_str());
          return fail("getV8EncKey", kZnPwdProtectFailed);
        }
      } catch (const std::exception&) {
        return fail("getV8EncKey", kZnPwdKeyUnusable);
      }
      text = Znc::bin2hex(blob);
      if (!WriteString(zn::detail::kProductKey, kV8Value, *text)) return fail("getV8EncKey", kZnPwdWriteFailed);
    }
    if (!instanceKey.empty() && !WriteString(instanceKey, kV8Value, *text)) {
      return fail("getV8EncKey", kZnPwdWriteFailed);
    }
  }
  if (text->empty()) return fail("getV8EncKey", kZnPwdKeyMissing);
  ZncBucket plain;
  try {
    std::string error;
    if (!zn::detail::MachineUnprotect(Znc::hex2bin(text->c_str()), plain, error)) {
      if (printErrors != 0) std::printf("\n%s\n", error.c_str());
      return fail("getV8EncKey", kZnPwdProtectFailed);
    }
  } catch (const std::exception&) {
    return fail("getV8EncKey", kZnPwdKeyUnusable);
  }
  if (plain.getSize() != static_cast<int>(kKeyBytes)) return fail("getV8EncKey", kZnPwdKeyUnusable);
  s.v8Key.emplace(reinterpret_cast<const char*>(plain.getData()), kKeyBytes);
  key = plain;
  return 1;
}

bool ZNPassword::isV8EncryptionEnabled() {
  const zn::InstanceScope scope = zn::FocusedScope();
  if (scope.focus.empty()) return false;
  PasswordState& s = State();
  const std::lock_guard<std::mutex> guard(s.lock);
  if (!s.chatterChecked) {
    s.chatterChecked = true;
    if (ReadNumber(InstanceKey("~Session"), "nChatterFlag").value_or(0) == 1) return false;
  }
  if (!s.v8Enabled) {
    std::optional<uint64_t> flag = ReadNumber(InstanceKey("~"), "CryptUseV8Encryption");
    if (!flag) flag = ReadNumber(zn::detail::kProductKey, "CryptUseV8Encryption");
    s.v8Enabled = flag ? *flag != 0 : true;
  }
  return *s.v8Enabled;
}

int ZNPassword::encryptV5(const secure_basic_string<char>& pwd, secure_basic_string<char>& out) {
  if (pwd.empty()) return fail("encryptV5", kZnPwdBadArgument);
  if (pwd.size() > kMaxPlain) return fail("encryptV5", kZnPwdPlainTooLong);
  ZncBucket key;
  if (getV5EncKey(key) == 0) return 0;
  const std::string_view material(reinterpret_cast<const char*>(key.getData()), static_cast<size_t>(key.getSize()));
  if (strongEncode("encryptV5", pwd, '5', material, nullptr, nullptr) == 0) return 0;
  out.assign(getEncoded());
  return 1;
}

int ZNPassword::encryptV5(const char* pwd, char* out, size_t* size) {
  if (pwd == nullptr || size == nullptr) return fail("encryptV5", kZnPwdBadArgument);
  secure_basic_string<char> enc;
  if (encryptV5(secure_basic_string<char>(pwd), enc) == 0) return 0;
  return copyOut("encryptV5", enc, out, size);
}

int ZNPassword::encryptV5(const wchar_t* pwd, char* out, size_t* size) {
  if (pwd == nullptr || size == nullptr) return fail("encryptV5", kZnPwdBadArgument);
  secure_basic_string<char> utf8;
  ToUtf8(pwd, utf8);
  secure_basic_string<char> enc;
  if (encryptV5(utf8, enc) == 0) return 0;
  return copyOut("encryptV5", enc, out, size);
}

int ZNPassword::encryptV8(const secure_basic_string<char>& pwd, secure_basic_string<char>& out) {
  if (pwd.empty()) return fail("encryptV8", kZnPwdBadArgument);
  if (pwd.size() > kMaxPlain) return fail("encryptV8", kZnPwdPlainTooLong);
  if (!isV8EncryptionEnabled()) return encryptStrong(pwd, out, nullptr);
  ZncBucket key;
  if (getV8EncKey(key, true) == 0) return 0;
  const std::string_view material(reinterpret_cast<const char*>(key.getData()), static_cast<size_t>(key.getSize()));
  if (strongEncode("encryptV8", pwd, '8', material, nullptr, nullptr) == 0) return 0;
  out.assign(getEncoded());
  return 1;
}

int ZNPassword::encryptV8(const char* pwd, char* out, size_t* size) {
  if (pwd == nullptr || size == nullptr) return fail("encryptV8", kZnPwdBadArgument);
  secure_basic_string<char> enc;
  if (encryptV8(secure_basic_string<char>(pwd), enc) == 0) return 0;
  return copyOut("encryptV8", enc, out, size);
}

int ZNPassword::encryptV8(const wchar_t* pwd, char* out, size_t* size) {
  if (pwd == nullptr || size == nullptr) return fail("encryptV8", kZnPwdBadArgument);
  secure_basic_string<char> utf8;
  ToUtf8(pwd, utf8);
  secure_basic_string<char> enc;
  if (encryptV8(utf8, enc) == 0) return 0;
  return copyOut("encryptV8", enc, out, size);
}
