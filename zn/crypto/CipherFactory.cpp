#include "zn/crypto/internal/CipherFactory.h"

#include "zn/crypto/znc_aes.h"

namespace zn::detail {

ZncBlockCipher* MakeCipher(Znc::CIPHER type) {
  switch (type) {
    case Znc::CIPHER_AES: return new ZncAES;
    default: return nullptr;
  }
}

}  // namespace zn::detail
