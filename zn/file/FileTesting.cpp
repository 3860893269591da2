#include "zn/file/FileTesting.h"

#include <algorithm>

#include "zn/file/internal/Utf16LeDecoder.h"

namespace zn::testing {

std::wstring DecodeUtf16LeForTest(std::string_view bytes, const std::vector<std::size_t>& cuts) {
  std::vector<std::size_t> points;
  for (const std::size_t cut : cuts) {
    if (cut <= bytes.size()) points.push_back(cut);
  }
  std::sort(points.begin(), points.end());
  points.push_back(bytes.size());
  zn::detail::Utf16LeDecoder decoder;
  std::wstring out;
  std::size_t start = 0;
  for (const std::size_t end : points) {
    decoder.decode(reinterpret_cast<const unsigned char*>(bytes.data()) + start, end - start, out);
    start = end;
  }
  decoder.finish(out);
  return out;
}

}  // namespace zn::testing
