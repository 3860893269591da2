// A file of arbitrary bytes opened as text through PortableFile, read in
// pieces of fuzzer-chosen sizes: what comes out must be exactly what a
// plain UTF-16LE decoding (U+FFFD for each broken unit, the byte-order mark
// dropped) gives, or the bytes themselves when there is no mark. The
// decoder fed the same bytes cut anywhere must agree too.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "zn/file/FileTesting.h"
#include "zn/file/PortableFile.h"

namespace {

// Encoded here on its own on purpose: PortableFile writes through
// FXString::PutUtf8, and the model must not share the code it checks.
void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The model: whole-buffer UTF-16LE, a lone surrogate or a last odd byte
// each U+FFFD.
std::u32string Model(const uint8_t* data, size_t size) {
  std::u32string out;
  size_t i = 0;
  while (i + 1 < size) {
    const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    i += 2;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < size) {
      const char16_t next = static_cast<char16_t>(data[i] | data[i + 1] << 8);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        out.push_back(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        i += 2;
        continue;
      }
    }
    out.push_back(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
  }
  if (i < size) out.push_back(0xFFFD);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the read sizes; the rest is the file.
  const unsigned long long pieces[2] = {1ULL + data[0] % 17, 1ULL + data[1] * 257ULL};
  data += 2;
  size -= 2;

  const int fd = ::memfd_create("utf16", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  const bool marked = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
  std::string expected;
  if (marked) {
    for (const char32_t cp : Model(data + 2, size - 2)) AppendUtf8(cp, expected);
  } else {
    expected.assign(reinterpret_cast<const char*>(data), size);
  }

  PortableFile file;
  if (!file.Initialize(path.c_str(), "rt")) std::abort();
  if (file.isUtf16Text() != marked) std::abort();
  if (marked && file.getFileSize() != static_cast<long long>(size / 2) - 1) std::abort();
  std::string got;
  std::vector<char> buffer(std::max(pieces[0], pieces[1]));
  for (int round = 0;; ++round) {
    const unsigned long long piece = pieces[round % 2];
    unsigned long long n = 0;
    if (!file.Read(buffer.data(), piece, &n)) std::abort();
    if (n > piece) std::abort();
    if (n == 0) break;
    got.append(buffer.data(), n);
  }
  if (got != expected) std::abort();
  file.Close();
  ::close(fd);

  if (marked) {
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::wstring decoded = zn::testing::DecodeUtf16LeForTest(bytes, {pieces[0], pieces[1] % (size + 1)});
    const std::u32string model = Model(data + 2, size - 2);
    if (decoded.size() != model.size()) std::abort();
    for (size_t i = 0; i < model.size(); ++i) {
      if (static_cast<char32_t>(decoded[i]) != model[i]) std::abort();
    }
  }
  return 0;
}
