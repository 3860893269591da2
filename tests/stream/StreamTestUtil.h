// Helpers shared by the stream tests.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "zn/error/ZnException.h"

namespace zn::test {

// Checks that `call` throws the stream module's ZnException: the function
// name, the exact message and the error number -1.
template <typename Call>
void ExpectStreamError(Call call, const char* function, const std::string& message) {
  try {
    call();
    ADD_FAILURE() << "no ZnException; expected \"" << message << "\"";
  } catch (const ZnException& e) {
    EXPECT_STREQ(e.getFuncName(), function);
    EXPECT_EQ(std::string(e.getMessage()), message);
    EXPECT_EQ(e.getErrno(), -1);
    EXPECT_GT(e.getLineNum(), 0);
  }
}

// The message of the ZnException `call` throws; empty when it throws none.
template <typename Call>
std::string StreamErrorText(Call call) {
  try {
    call();
  } catch (const ZnException& e) {
    return e.getMessage();
  }
  return {};
}

// `size` bytes that differ from their neighbours and repeat only every 251
// bytes (a prime), so a piece read from the wrong place shows.
inline std::vector<unsigned char> Pattern(std::size_t size, unsigned seed = 0) {
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i + seed) % 251 + 1);
  return bytes;
}

}  // namespace zn::test
