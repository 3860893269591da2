// The classes behind Znc::createCipher, one per cipher type.
#pragma once

#include "zn/crypto/znc.h"

class ZncBlockCipher;

namespace zn::detail {

ZncBlockCipher* MakeCipher(Znc::CIPHER type);

}  // namespace zn::detail
