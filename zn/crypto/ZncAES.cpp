#include "zn/crypto/znc_aes.h"

#include "zn/crypto/internal/EngineCipher.h"
#include "zn/crypto/znc.h"

namespace {

const zn::detail::CipherBinding kAes = {
    "ZncAES",
    "ZncAES::setKey",
    "ZncAES::encBlock",
    "ZncAES::decBlock",
    "Failed to instantiate AES cipher: ",
    "Failed to set AES key: ",
    "Failed to encrypt one block using AES: ",
    "Failed to decrypt one block using AES: ",
    16,
    Znc::CIPHER_AES,
    &Zncl::aes_init,
    &Zncl::aes_destroy,
    &Zncl::aes_set_key,
    &Zncl::aes_ecb_encrypt,
    &Zncl::aes_ecb_decrypt,
    &Zncl::aes_ecb_encrypt_blocks,
    &Zncl::aes_ecb_decrypt_blocks,
};

}  // namespace

ZN_DEFINE_ENGINE_CIPHER(ZncAES, kAes)
