#include "zn/crypto/znc_sha256.h"

#include "zn/crypto/internal/EngineHash.h"

namespace {

const zn::detail::HashBinding kSHA256 = {
    "ZncSHA256",
    "ZncSHA256::reset",
    "ZncSHA256::addData",
    "ZncSHA256::finish",
    "Failed to instantiate SHA256 hasher: ",
    "Failed to init HMAC-SHA256 hasher: ",
    "Failed to reset SHA256 hasher: ",
    "Failed to feed more data to SHA256 hasher: ",
    "Buffer for SHA256 digest must be at least 32-byte long.",
    "Failed to produce HMAC-SHA256: ",
    "Failed to produce SHA256 hash: ",
    32,
    &Zncl::sha256_init,
    &Zncl::sha256_destroy,
    &Zncl::sha256_update,
    &Zncl::sha256_final,
    &Zncl::sha256_reset,
    &Zncl::sha256_hmac_init,
    &Zncl::sha256_hmac_update,
    &Zncl::sha256_hmac_final,
};

}  // namespace

ZN_DEFINE_ENGINE_HASH(ZncSHA256, kSHA256)
