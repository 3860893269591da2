#include "zn/crypto/internal/CipherFactory.h"

#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_blowfish.h"
#include "zn/crypto/znc_des.h"
#include "zn/crypto/znc_gost.h"
#include "zn/crypto/znc_serpent.h"
#include "zn/crypto/znc_twofish.h"

namespace zn::detail {

// DES (7) has no entry: the factory never made it.
ZncBlockCipher* MakeCipher(Znc::CIPHER type) {
  switch (type) {
    case Znc::CIPHER_OLD_BLOWFISH: {
      auto* cipher = new ZncBlowfish;
      cipher->overrideCipherType(Znc::CIPHER_OLD_BLOWFISH);
      return cipher;
    }
    case Znc::CIPHER_BLOWFISH: return new ZncBlowfish;
    case Znc::CIPHER_AES: return new ZncAES;
    case Znc::CIPHER_SERPENT: return new ZncSerpent;
    case Znc::CIPHER_TWOFISH: return new ZncTwofish;
    case Znc::CIPHER_3DES: return new Znc3DES;
    case Znc::CIPHER_GOST: return new ZncGOST;
    default: return nullptr;
  }
}

}  // namespace zn::detail
