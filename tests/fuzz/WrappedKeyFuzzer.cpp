// Wrapped keys and pass-phrase blobs come from disk and from other
// programs. Whatever the bytes, unwrapping either gives a key that wraps
// and unwraps to itself, or fails with one of the documented messages.
// The first byte picks the mode:
//   0: Znc::unWrapKey of the bytes   1: of the bytes as hex text
//   2: ZncKeyWrap over AES           3: over Blowfish (4-byte semiblocks)
//   4: Znc::importPassPhrase
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzCheck.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_blowfish.h"
#include "zn/crypto/znc_keywrap.h"
#include "zn/error/ZnException.h"

namespace {

using zn::fuzz::Expect;

// What unwrapping and importing add to the scrambler's and hex messages.
const zn::fuzz::Messages& UnwrapMessages() {
  static const zn::fuzz::Messages messages = {
      "Invalid wrapped data length: must be divisible by cipher's half-block size.",
      "Incorrect wrapping key",
      "Failed to unwrap key data: padding check failed.",
      "Key unwrapping failed: unknown method.",
      "Cannot import pass-phrase: data is too short.",
      "Cannot import pass-phrase: Unsupported version or corrupt data.",
  };
  return messages;
}

template <class Cipher>
void UnwrapUnder(const uint8_t* data, int len, const unsigned char* key, int keyLen) {
  Cipher cipher;
  cipher.setKey(key, keyLen);
  ZncKeyWrap wrapper(&cipher);
  const ZncBucket plain = wrapper.unWrap(ZncBucket(data, len));
  Expect(wrapper.unWrap(wrapper.wrap(plain)) == plain);
}

void UnwrapKey(const ZncBucket& blob) {
  const ZncBucket key = Znc::unWrapKey(blob);
  Expect(Znc::unWrapKey(Znc::wrapKey(key, false)) == key);
  Expect(Znc::unWrapKey(Znc::wrapKey(key, true)) == key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 4096) return 0;
  static const unsigned char kKey[16] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                         0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};
  const int mode = data[0] % 5;
  const uint8_t* body = data + 1;
  const int len = static_cast<int>(size - 1);
  try {
    switch (mode) {
      case 0: UnwrapKey(ZncBucket(body, len)); break;
      case 1: UnwrapKey(Znc::hex2bin(std::string(reinterpret_cast<const char*>(body), static_cast<std::size_t>(len)).c_str())); break;
      case 2: UnwrapUnder<ZncAES>(body, len, kKey, 16); break;
      case 3: UnwrapUnder<ZncBlowfish>(body, len, kKey, 16); break;
      default: {
        int type = 0;
        std::string phrase;
        Znc::importPassPhrase(ZncBucket(body, len), &type, &phrase);
        Expect(!phrase.empty());
        std::string back;
        int backType = 0;
        Znc::importPassPhrase(Znc::exportPassPhrase(type, phrase.c_str()), &backType, &back);
        Expect(back == phrase && backType == type);
        break;
      }
    }
  } catch (const ZnException& e) {
    zn::fuzz::ExpectKnownMessage(e.getMessage(),
                                 {&UnwrapMessages(), &zn::fuzz::ScramblerMessages(), &zn::fuzz::HexMessages()});
  }
  return 0;
}
