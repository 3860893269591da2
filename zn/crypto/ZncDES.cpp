#include "zn/crypto/znc_des.h"

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/internal/EngineCipher.h"
#include "zn/crypto/znc.h"

namespace {

const zn::detail::CipherBinding kDes = {
    "ZncDES",
    "ZncDES::setKey",
    "ZncDES::encBlock",
    "ZncDES::decBlock",
    "Failed to instantiate DES cipher: ",
    "Failed to set DES key: ",
    "Failed to encrypt one block using DES: ",
    "Failed to decrypt one block using DES: ",
    8,
    Znc::CIPHER_DES,
    &Zncl::des_init,
    &Zncl::des_destroy,
    &Zncl::des_set_key,
    &Zncl::des_ecb_encrypt,
    &Zncl::des_ecb_decrypt,
    &Zncl::des_ecb_encrypt_blocks,
    &Zncl::des_ecb_decrypt_blocks,
};

const zn::detail::CipherBinding kTripleDes = {
    "Znc3DES",
    "Znc3DES::setKey",
    "Znc3DES::encBlock",
    "Znc3DES::decBlock",
    "Failed to instantiate 3DES cipher: ",
    "Failed to set 3DES key: ",
    "Failed to encrypt one block using 3DES: ",
    "Failed to decrypt one block using 3DES: ",
    8,
    Znc::CIPHER_3DES,
    &Zncl::des3_init,
    &Zncl::des3_destroy,
    &Zncl::des3_set_key,
    &Zncl::des3_ecb_encrypt,
    &Zncl::des3_ecb_decrypt,
    &Zncl::des3_ecb_encrypt_blocks,
    &Zncl::des3_ecb_decrypt_blocks,
};

}  // namespace

ZN_DEFINE_ENGINE_CIPHER(ZncDES, kDes)
ZN_DEFINE_ENGINE_CIPHER(Znc3DES, kTripleDes)

bool ZncDES::isKeyWeak(const ZncBucket& key) { return isKeyWeak(key.getData(), key.getSize()); }

bool ZncDES::isKeyWeak(const void* key, int len) {
  const int verdict = Zncl::des_is_key_weak(ctx, key, len);
  if (verdict < 0) zn::detail::ThrowEngineError("ZncDES::isKeyWeak", "Failed to check DES key: ", ctx);
  return verdict != 0;
}
