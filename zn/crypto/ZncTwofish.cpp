#include "zn/crypto/znc_twofish.h"

#include "zn/crypto/internal/EngineCipher.h"
#include "zn/crypto/znc.h"

namespace {

const zn::detail::CipherBinding kTwofish = {
    "ZncTwofish",
    "ZncTwofish::setKey",
    "ZncTwofish::encBlock",
    "ZncTwofish::decBlock",
    "Failed to instantiate Twofish cipher: ",
    "Failed to set Twofish key: ",
    "Failed to encrypt one block using Twofish: ",
    "Failed to decrypt one block using Twofish: ",
    16,
    Znc::CIPHER_TWOFISH,
    &Zncl::twofish_init,
    &Zncl::twofish_destroy,
    &Zncl::twofish_set_key,
    &Zncl::twofish_ecb_encrypt,
    &Zncl::twofish_ecb_decrypt,
    &Zncl::twofish_ecb_encrypt_blocks,
    &Zncl::twofish_ecb_decrypt_blocks,
};

}  // namespace

ZN_DEFINE_ENGINE_CIPHER(ZncTwofish, kTwofish)
