#include "zn/crypto/znc_sha1.h"

#include "zn/crypto/internal/EngineHash.h"

namespace {

const zn::detail::HashBinding kSHA1 = {
    "ZncSHA1",
    "ZncSHA1::reset",
    "ZncSHA1::addData",
    "ZncSHA1::finish",
    "Failed to instantiate SHA1 hasher: ",
    "Failed to init HMAC-SHA1 hasher: ",
    "Failed to reset SHA1 hasher: ",
    "Failed to feed more data to SHA1 hasher: ",
    "Buffer for SHA1 digest must be at least 20-byte long.",
    "Failed to produce HMAC-SHA1: ",
    "Failed to produce SHA1 hash: ",
    20,
    &Zncl::sha1_init,
    &Zncl::sha1_destroy,
    &Zncl::sha1_update,
    &Zncl::sha1_final,
    &Zncl::sha1_reset,
    &Zncl::sha1_hmac_init,
    &Zncl::sha1_hmac_update,
    &Zncl::sha1_hmac_final,
};

}  // namespace

ZN_DEFINE_ENGINE_HASH(ZncSHA1, kSHA1)
