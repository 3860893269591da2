// Protected data arrives from disk and from the network. Whatever the
// bytes, decryption either succeeds with a plain text that seals and opens
// again to itself, or fails with Znc::WrongKey or one of the format's
// messages; it never crashes or reads out of bounds. The first byte picks
// the format; mode 4 seals arbitrary bytes and checks they open again.
//   0: data with CRC-32 under a fixed Blowfish key
//   1: tagged data under AES, input = IV (8) + tag (4) + data
//   2: tagged data under Blowfish, same layout
//   3: network transit under a fixed password
//   4: round trip of arbitrary plain bytes through all of them
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "zn/crypto/znc.h"
#include "FuzzCheck.h"
#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_blowfish.h"
#include "zn/error/ZnException.h"

namespace {

const std::set<std::string>& KnownMessages() {
  static const std::set<std::string> messages = {
      "Failed to decrypt data: wrong decryption key.",
      "Cannot decrypt data: length is not a multiple of 8.",
      "Cannot decrypt data: too short (must be at least 16 bytes long).",
  };
  return messages;
}

ZncBlowfish& Blowfish() {
  static ZncBlowfish* bf = [] {
    auto* cipher = new ZncBlowfish;
    // The keys of tests/crypto/vectors/formats.py, so that its blobs in the
    // corpus open.
    const unsigned char key[16] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                   0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f};
    cipher->setKey(key, 16);
    return cipher;
  }();
  return *bf;
}

ZncAES& Aes() {
  static ZncAES* aes = [] {
    auto* cipher = new ZncAES;
    const unsigned char key[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                   0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
    cipher->setKey(key, 16);
    return cipher;
  }();
  return *aes;
}

using zn::fuzz::Expect;

void OpenWithCrc(const uint8_t* data, int len) {
  if (len == 0) return;
  ZncBucket out(len > 8 ? len - 8 : 8);
  const int n = Znc::decryptTagData(data, out.getData(), len, Blowfish());
  Expect(n >= 0 && n <= len - 8);
  // A text that opened must seal and open to itself.
  ZncBucket sealed(((n + 7) & ~7) + 16);
  const int m = Znc::encryptTagData(out.getData(), sealed.getData(), n, Blowfish());
  ZncBucket again(m > 8 ? m - 8 : 8);
  Expect(Znc::decryptTagData(sealed.getData(), again.getData(), m, Blowfish()) == n);
  Expect(n == 0 || std::memcmp(again.getData(), out.getData(), static_cast<std::size_t>(n)) == 0);
}

void OpenTagged(const uint8_t* data, int len, ZncBlockCipher& cipher) {
  if (len < 12) return;
  const int n = len - 12;
  ZncBucket out(n);
  Znc::decryptTagData(data + 12, out.getData(), n, data + 8, data, &cipher);
}

void RoundTrip(const uint8_t* data, int len) {
  ZncBucket sealed(((len + 7) & ~7) + 16);
  const int m = Znc::encryptTagData(data, sealed.getData(), len, Blowfish());
  ZncBucket opened(m > 8 ? m - 8 : 8);
  Expect(Znc::decryptTagData(sealed.getData(), opened.getData(), m, Blowfish()) == len);
  Expect(len == 0 || std::memcmp(opened.getData(), data, static_cast<std::size_t>(len)) == 0);
  for (ZncBlockCipher* cipher : {static_cast<ZncBlockCipher*>(&Aes()), static_cast<ZncBlockCipher*>(&Blowfish())}) {
    ZncBucket out(len);
    unsigned char tag[4];
    unsigned char iv[8];
    Znc::encryptTagData(data, out.getData(), len, tag, iv, cipher);
    ZncBucket back(len);
    Znc::decryptTagData(out.getData(), back.getData(), len, tag, iv, cipher);
    Expect(len == 0 || std::memcmp(back.getData(), data, static_cast<std::size_t>(len)) == 0);
  }
  const ZncBucket plain(data, len);
  Expect(Znc::netDecrypt(Znc::netEncrypt(plain, "fuzz"), "fuzz") == plain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 4096) return 0;
  const int mode = data[0] % 5;
  const uint8_t* body = data + 1;
  const int len = static_cast<int>(size - 1);
  try {
    switch (mode) {
      case 0: OpenWithCrc(body, len); break;
      case 1: OpenTagged(body, len, Aes()); break;
      case 2: OpenTagged(body, len, Blowfish()); break;
      case 3: Znc::netDecrypt(ZncBucket(body, len), "fuzz"); break;
      default: RoundTrip(body, len); break;
    }
  } catch (const Znc::WrongKey& e) {
    Expect(std::strcmp(e.getMessage(), "Failed to decrypt data: wrong decryption key.") == 0);
  } catch (const ZnException& e) {
    if (mode == 4 || KnownMessages().count(e.getMessage()) == 0) {
      std::fprintf(stderr, "unexpected failure: %s\n", e.formatError().c_str());
      std::abort();
    }
  }
  return 0;
}
