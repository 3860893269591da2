#include "zn/crypto/znc_gost.h"

#include "zn/crypto/internal/EngineCipher.h"
#include "zn/crypto/znc.h"

namespace {

const zn::detail::CipherBinding kGost = {
    "ZncGOST",
    "ZncGOST::setKey",
    "ZncGOST::encBlock",
    "ZncGOST::decBlock",
    "Failed to instantiate GOST cipher: ",
    "Failed to set GOST key: ",
    "Failed to encrypt one block using GOST: ",
    "Failed to decrypt one block using GOST: ",
    8,
    Znc::CIPHER_GOST,
    &Zncl::gost_init,
    &Zncl::gost_destroy,
    &Zncl::gost_set_key,
    &Zncl::gost_ecb_encrypt,
    &Zncl::gost_ecb_decrypt,
    &Zncl::gost_ecb_encrypt_blocks,
    &Zncl::gost_ecb_decrypt_blocks,
};

}  // namespace

ZN_DEFINE_ENGINE_CIPHER(ZncGOST, kGost)
