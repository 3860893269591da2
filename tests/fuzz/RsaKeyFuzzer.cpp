// RSA keys arrive as key files, PEM texts and DER blobs written by other
// programs. Whatever the bytes, reading either gives a key the engine can
// write out again, or fails with a ZnException; it never crashes. Key files
// must fail with their own messages or the scrambler's. The first byte
// picks the mode:
//   0: key file (Znc::loadRSAKeys)   1: public PEM   2: private PEM
//   3: public key bytes (PKCS #1, then SubjectPublicKeyInfo)
//   4: private key bytes (PKCS #1, then PKCS #8)
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzCheck.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_rsa.h"
#include "zn/error/ZnException.h"

namespace {

using zn::fuzz::Expect;

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

bool KeyFileMessage(const std::string& m) {
  return m.rfind("Cannot load RSA keys: ", 0) == 0 || m.rfind("Scrambled data is corrupt: ", 0) == 0 ||
         m.rfind("Cannot descramble data: ", 0) == 0 || m == "Key unwrapping failed: unknown method." ||
         m == "Incorrect wrapping key" || m == "Failed to unwrap key data: padding check failed." ||
         m == "Invalid wrapped data length: must be divisible by cipher's half-block size.";
}

void LoadKeyFile(const uint8_t* data, std::size_t len) {
  std::unique_ptr<FILE, FileCloser> file(
      len > 0 ? fmemopen(const_cast<uint8_t*>(data), len, "rb") : std::tmpfile());
  Expect(file != nullptr);
  ZncBucket pub;
  ZncBucket pri;
  try {
    Znc::loadRSAKeys(file.get(), pub, pri);
  } catch (const ZnException& e) {
    if (!KeyFileMessage(e.getMessage())) {
      std::fprintf(stderr, "unexpected message: %s\n", e.getMessage());
      std::abort();
    }
  }
}

// A key that was accepted writes out and reads back to the same bytes.
void Reread(ZncRSA& rsa, bool isPrivate) {
  if (isPrivate) {
    const ZncBucket key = rsa.getPriKey(false);
    ZncRSA again;
    again.setPriKey(key, false);
    Expect(again.getPriKey(false) == key);
  } else {
    const ZncBucket key = rsa.getPubKey(false);
    ZncRSA again;
    again.setPubKeyPEM(rsa.getPubKeyPEM().c_str());
    Expect(again.getPubKey(false) == key);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 8192) return 0;
  const int mode = data[0] % 5;
  const uint8_t* body = data + 1;
  const int len = static_cast<int>(size - 1);
  if (mode == 0) {
    LoadKeyFile(body, size - 1);
    return 0;
  }
  const std::string text(reinterpret_cast<const char*>(body), static_cast<std::size_t>(len));
  try {
    ZncRSA rsa;
    switch (mode) {
      case 1: rsa.setPubKeyPEM(text.c_str()); Reread(rsa, false); break;
      case 2: rsa.setPriKeyPEM(text.c_str(), nullptr); Reread(rsa, true); break;
      case 3:
        try {
          rsa.setPubKey(body, len, false);
        } catch (const ZnException&) {
          rsa.setPubKey(body, len, true);
        }
        Reread(rsa, false);
        break;
      default:
        try {
          rsa.setPriKey(body, len, false);
        } catch (const ZnException&) {
          rsa.setPriKey(body, len, true);
        }
        Reread(rsa, true);
        break;
    }
  } catch (const ZnException&) {
  }
  return 0;
}
