// PEM texts of keys: written here (the engine only reads them).
#pragma once

#include <string>

#include "zn/crypto/secure_basic_string.h"

namespace zn::detail {

// "-----BEGIN <label>-----", the bytes in base64 at 64 characters a line,
// "-----END <label>-----", each line ended by a newline.
secure_basic_string<char> PemEncode(const char* label, const unsigned char* data, int len);

// Why a PEM text is refused before it reaches the engine: a text with
// RFC 1421 headers (the "Proc-Type"/"DEK-Info" of OpenSSL's legacy
// encryption) names a scheme the engine does not read. Empty when the text
// has none.
std::string UnsupportedPemHeader(const char* pem);

}  // namespace zn::detail
