#include "zn/crypto/znc_md5.h"

#include "zn/crypto/internal/EngineHash.h"

namespace {

const zn::detail::HashBinding kMD5 = {
    "ZncMD5",
    "ZncMD5::reset",
    "ZncMD5::addData",
    "ZncMD5::finish",
    "Failed to instantiate MD5 hasher: ",
    "Failed to init HMAC-MD5 hasher: ",
    "Failed to reset MD5 hasher: ",
    "Failed to feed more data to MD5 hasher: ",
    "Buffer for MD5 digest must be at least 16-byte long.",
    "Failed to produce HMAC-MD5: ",
    "Failed to produce MD5 hash: ",
    16,
    &Zncl::md5_init,
    &Zncl::md5_destroy,
    &Zncl::md5_update,
    &Zncl::md5_final,
    &Zncl::md5_reset,
    &Zncl::md5_hmac_init,
    &Zncl::md5_hmac_update,
    &Zncl::md5_hmac_final,
};

}  // namespace

ZN_DEFINE_ENGINE_HASH(ZncMD5, kMD5)
