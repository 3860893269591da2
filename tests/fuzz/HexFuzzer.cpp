// Hexadecimal keys and stored blobs come from files and the store. Any text
// either converts, and then converts back to the same digits in lower case,
// or fails with one of the two conversion messages.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zn/crypto/znc.h"
#include "zn/error/ZnException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);  // stops at the first NUL below
  const char* c = text.c_str();
  std::string trimmed(c);
  while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back()))) trimmed.pop_back();
  try {
    const ZncBucket bytes = Znc::hex2bin(c);
    if (bytes.getSize() * 2 != static_cast<int>(trimmed.size())) std::abort();
    std::string lower = trimmed;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (Znc::bin2hex(bytes) != lower) std::abort();
  } catch (const ZnException& e) {
    if (std::strcmp(e.getMessage(), "Cannot convert hex to bin: Input string does not have an even length.") != 0 &&
        std::strcmp(e.getMessage(), "Cannot convert hex to bin: Illegal character encountered.") != 0) {
      std::abort();
    }
  }
  return 0;
}
