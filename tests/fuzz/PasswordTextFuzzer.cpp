// Encoded passwords come from the configuration store and from the
// network. Whatever the text, decoding it never crashes, gives at most 511
// characters, and a password that decodes encodes again and decodes to the
// same bytes. The first byte picks the mode:
//   0: putEncPwd   1: decrypt (built-in pass phrase)   2: decrypt with a
//   pass phrase (the text up to the first '|')   3: networkDecrypt with
//   the next four bytes as the key   4: validatePassword (stored|salt|pwd)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/secure_basic_string.h"

namespace {

void Expect(bool condition) {
  if (!condition) std::abort();
}

size_t CharCount(std::string_view utf8) {
  size_t n = 0;
  for (const char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

// A decoded password: in range, and it survives the strong encoding.
void CheckPlain(std::string_view plain) {
  Expect(CharCount(plain) <= ZNPassword::kMaxPlain);
  ZNPassword p;
  secure_basic_string<char> enc;
  secure_basic_string<char> back;
  if (p.encryptStrong(secure_basic_string<char>(plain), enc) == 0) {
    // Only a password whose text would pass 2048 characters is refused.
    Expect(p.getLastError() == kZnPwdTooLong);
    return;
  }
  Expect(p.decrypt(enc, back) == 1);
  Expect(std::string_view(back) == plain);
}

void Decode(ZNPassword& p, const std::string& text) {
  std::vector<char> out(4 * 2048);
  size_t size = out.size();
  if (p.decrypt(text.c_str(), out.data(), &size) == 1) {
    CheckPlain(std::string_view(out.data(), size));
  } else {
    Expect(p.getLastError() != 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int mode = data[0] % 5;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  rest = rest.substr(0, rest.find('\0'));  // every entry point takes C texts
  switch (mode) {
    case 0: {
      ZNPassword p;
      Expect(p.encrypt("previous") == 1);
      const std::string previous(p.getEncoded());
      if (p.putEncPwd(rest.c_str()) == 1) {
        Expect(std::string(p.getEncoded()) == rest);
        secure_basic_string<char> plain;
        Expect(p.ConvertToASM(secure_basic_string<char>(rest), plain) == 1);
        CheckPlain(plain);
      } else {
        Expect(std::string(p.getEncoded()) == previous);
      }
      break;
    }
    case 1: {
      ZNPassword p;
      Decode(p, rest);
      break;
    }
    case 2: {
      const size_t bar = rest.find('|');
      const std::string phrase = rest.substr(0, bar);
      const std::string text = bar == std::string::npos ? std::string() : rest.substr(bar + 1);
      ZNPassword p;
      std::vector<char> out(4 * 2048);
      size_t len = out.size();
      if (p.decrypt(text.c_str(), out.data(), &len, phrase.c_str()) == 1) {
        CheckPlain(std::string_view(out.data(), len));
      }
      break;
    }
    case 3: {
      if (rest.size() < 4) return 0;
      unsigned long key = 0;
      for (int i = 0; i < 4; ++i) key = (key << 8) | static_cast<unsigned char>(rest[static_cast<size_t>(i)]);
      const std::string text = rest.substr(4);
      ZNPassword p;
      std::vector<char> out(4 * 2048);
      size_t len = out.size();
      if (p.networkDecrypt(text.c_str(), out.data(), &len, key) == 1) {
        const std::string plain(out.data(), len);
        Expect(CharCount(plain) <= ZNPassword::kMaxPlain);
        if (plain.find('\0') == std::string::npos) {
          std::vector<char> enc(4 * 2048);
          size_t encLen = enc.size();
          if (p.networkEncrypt(plain.c_str(), enc.data(), &encLen, key) == 1) {
            len = out.size();
            Expect(p.networkDecrypt(enc.data(), out.data(), &len, key) == 1);
            Expect(std::string(out.data(), len) == plain);
          }
        }
      }
      break;
    }
    default: {
      const size_t a = rest.find('|');
      const size_t b = a == std::string::npos ? std::string::npos : rest.find('|', a + 1);
      if (b == std::string::npos) return 0;
      ZNPassword p;
      const int ok = p.validatePassword(rest.substr(0, a), rest.substr(a + 1, b - a - 1), rest.substr(b + 1));
      Expect(ok == 1 || p.getLastError() != 0);
      break;
    }
  }
  return 0;
}
