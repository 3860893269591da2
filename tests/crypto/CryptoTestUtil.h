// Helpers of the cryptography tests: hexadecimal literals, expected
// exceptions with their exact texts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "zn/crypto/znc.h"
#include "zn/crypto/znc_bucket.h"
#include "zn/error/ZnException.h"

namespace zn::test {

inline ZncBucket Hex(const char* text) { return Znc::hex2bin(text); }
inline std::string HexOf(const ZncBucket& bytes) { return Znc::bin2hex(bytes); }
inline ZncBucket Text(const std::string& text) { return ZncBucket(text.data(), static_cast<int>(text.size())); }

// Runs `body`, which must throw a ZnException (or subclass E) with exactly
// `message` from the operation `function` (when given).
template <class E = ZnException, class Body>
void ExpectThrowText(Body&& body, const std::string& message, const char* function = nullptr) {
  try {
    body();
    ADD_FAILURE() << "no exception; expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(message, e.getMessage());
    if (function != nullptr) {
      EXPECT_STREQ(function, e.getFuncName());
    }
  } catch (const std::exception& e) {
    ADD_FAILURE() << "another exception: " << e.what() << "; expected: " << message;
  }
}

}  // namespace zn::test
