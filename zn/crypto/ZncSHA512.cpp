#include "zn/crypto/znc_sha512.h"

#include "zn/crypto/internal/EngineHash.h"

namespace {

const zn::detail::HashBinding kSHA512 = {
    "ZncSHA512",
    "ZncSHA512::reset",
    "ZncSHA512::addData",
    "ZncSHA512::finish",
    "Failed to instantiate SHA512 hasher: ",
    "Failed to init HMAC-SHA512 hasher: ",
    "Failed to reset SHA512 hasher: ",
    "Failed to feed more data to SHA512 hasher: ",
    "Buffer for SHA512 digest must be at least 64-byte long.",
    "Failed to produce HMAC-SHA512: ",
    "Failed to produce SHA512 hash: ",
    64,
    &Zncl::sha512_init,
    &Zncl::sha512_destroy,
    &Zncl::sha512_update,
    &Zncl::sha512_final,
    &Zncl::sha512_reset,
    &Zncl::sha512_hmac_init,
    &Zncl::sha512_hmac_update,
    &Zncl::sha512_hmac_final,
};

}  // namespace

ZN_DEFINE_ENGINE_HASH(ZncSHA512, kSHA512)
