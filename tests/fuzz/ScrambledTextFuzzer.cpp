// Scrambled texts come from disk (key files, stored secrets). Whatever the
// bytes, descrambling either gives plain bytes that scramble and come back
// to themselves, or fails with one of the scrambler's messages, in one
// call or cut into blocks. The first byte picks the mode:
//   0: one call   1: chunks of 8 * (second byte % 6 + 1)   2: hex text
//   3: round trip of arbitrary plain bytes
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_scrambler.h"
#include "zn/error/ZnException.h"

namespace {

using zn::fuzz::Expect;

void CheckOpened(const ZncBucket& plain) {
  Expect(Znc::descrambleFromBin(Znc::scrambleToBin(plain)) == plain);
}

void Chunked(const uint8_t* data, int len) {
  if (len < 1) return;
  const int step = 8 * (data[0] % 6 + 1);
  data += 1;
  len -= 1;
  ZncScrambler scrambler;
  ZncBucket out(len > 0 ? len : 1);
  ZncBucket plain;
  int at = 0;
  bool head = true;
  while (at < len) {
    int chunk = step + (head ? 8 : 0);
    const bool last = len - at - chunk <= 8;
    if (last) chunk = len - at;
    const int n = scrambler.descramble(data + at, chunk, out.getData(), out.getSize(), last);
    plain.append(out.getData(), n);
    at += chunk;
    head = false;
  }
  CheckOpened(plain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 4096) return 0;
  const int mode = data[0] % 4;
  const uint8_t* body = data + 1;
  const int len = static_cast<int>(size - 1);
  try {
    switch (mode) {
      case 0: CheckOpened(Znc::descrambleFromBin(body, len)); break;
      case 1: Chunked(body, len); break;
      case 2: {
        const std::string text(reinterpret_cast<const char*>(body), static_cast<std::size_t>(len));
        CheckOpened(Znc::descrambleFromHex(text.c_str()));
        break;
      }
      default: {
        const ZncBucket plain(body, len);
        const ZncBucket blob = Znc::scrambleToBin(plain);
        Expect(len == 0 || blob.getSize() == 16 + (len + 7) / 8 * 8);
        CheckOpened(plain);
        break;
      }
    }
  } catch (const ZnException& e) {
    zn::fuzz::ExpectKnownMessage(e.getMessage(), {&zn::fuzz::ScramblerMessages(), &zn::fuzz::HexMessages()});
  }
  return 0;
}
