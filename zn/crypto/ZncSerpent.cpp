#include "zn/crypto/znc_serpent.h"

#include "zn/crypto/internal/EngineCipher.h"
#include "zn/crypto/znc.h"

namespace {

const zn::detail::CipherBinding kSerpent = {
    "ZncSerpent",
    "ZncSerpent::setKey",
    "ZncSerpent::encBlock",
    "ZncSerpent::decBlock",
    "Failed to instantiate Serpent cipher: ",
    "Failed to set Serpent key: ",
    "Failed to encrypt one block using Serpent: ",
    "Failed to decrypt one block using Serpent: ",
    16,
    Znc::CIPHER_SERPENT,
    &Zncl::serpent_init,
    &Zncl::serpent_destroy,
    &Zncl::serpent_set_key,
    &Zncl::serpent_ecb_encrypt,
    &Zncl::serpent_ecb_decrypt,
    &Zncl::serpent_ecb_encrypt_blocks,
    &Zncl::serpent_ecb_decrypt_blocks,
};

}  // namespace

ZN_DEFINE_ENGINE_CIPHER(ZncSerpent, kSerpent)
