// A memory stream driven by arbitrary operations (writes, reads, seeks,
// truncates, strings, copies) must always hold what a plain byte vector
// holds for the same operations: same bytes, same position, same size,
// never a read across a chunk, zeros wherever nothing was written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zn/stream/ZnByteStream.h"

namespace {

constexpr int kChunk = 32768;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool empty() const { return m_offset >= m_size; }
  uint8_t byte() { return m_offset < m_size ? m_data[m_offset++] : 0; }
  // A length or position up to a little over three chunks.
  int length() {
    const int high = byte();
    const int low = byte();
    return (high << 9 | low << 1) % 100001;
  }
  int signedOffset() { return length() - 50000; }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_offset = 0;
};

// What the stream must hold: its bytes and its position.
struct Model {
  std::vector<unsigned char> bytes;
  long long position = 0;

  int write(const unsigned char* data, int count) {
    const int n = static_cast<int>(std::min<long long>(count, kChunk - position % kChunk));
    if (position > static_cast<long long>(bytes.size())) bytes.resize(static_cast<std::size_t>(position), 0);
    const std::size_t end = static_cast<std::size_t>(position + n);
    if (end > bytes.size()) bytes.resize(end, 0);
    std::copy(data, data + n, bytes.begin() + position);
    position += n;
    return n;
  }
  int readable(int count) const {
    const long long available = static_cast<long long>(bytes.size()) - position;
    const long long n = std::min<long long>({count, available, kChunk - position % kChunk});
    return n < 1 ? 0 : static_cast<int>(n);
  }
};

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckSame(ZnMemoryByteStream& stream, const Model& model) {
  Check(stream.tell() == model.position);
  Check(stream.size() == static_cast<int>(model.bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  ZnMemoryByteStream stream;
  Model model;
  static const std::vector<unsigned char> source = [] {
    std::vector<unsigned char> bytes(100001);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    return bytes;
  }();
  static std::vector<unsigned char> buffer(100001);

  for (int step = 0; step < 64 && !in.empty(); ++step) {
    switch (in.byte() % 7) {
      case 0: {
        const int count = in.length();
        Check(stream.write(source.data(), count) == model.write(source.data(), count));
        break;
      }
      case 1: {
        const int count = in.length();
        const int expected = model.readable(count);
        Check(stream.read(buffer.data(), count) == expected);
        if (expected > 0) {
          Check(std::equal(buffer.begin(), buffer.begin() + expected, model.bytes.begin() + model.position));
        }
        model.position += expected;
        break;
      }
      case 2: {
        const long long offset = in.signedOffset();
        const int whence = in.byte() % 4;
        stream.seek(offset, whence);
        const long long size = static_cast<long long>(model.bytes.size());
        const long long target = whence == 2 ? size - offset : whence == 1 ? model.position + offset : offset;
        model.position = std::max(0LL, target);
        break;
      }
      case 3: {
        const int length = in.length();
        stream.truncate(length);
        if (length < static_cast<int>(model.bytes.size())) {
          model.bytes.resize(static_cast<std::size_t>(length));
          model.position = std::min<long long>(model.position, length);
        }
        break;
      }
      case 4: {
        const int count = in.length();
        Check(stream.writeAll(source.data(), count) == count);
        for (int done = 0; done < count;) done += model.write(source.data() + done, count - done);
        break;
      }
      case 5: {
        const int count = in.length();
        const int got = stream.readAll(buffer.data(), count);
        const long long available = std::max(0LL, static_cast<long long>(model.bytes.size()) - model.position);
        Check(got == std::min<long long>(count, available));
        if (got > 0) Check(std::equal(buffer.begin(), buffer.begin() + got, model.bytes.begin() + model.position));
        model.position += got;
        break;
      }
      case 6: {
        // A string of input bytes written, or one read back to its zero.
        if (in.byte() % 2 == 0) {
          std::string text;
          for (int n = in.byte() % 16; n > 0; --n) text.push_back(static_cast<char>(in.byte() | 1));
          stream.writeString(text.c_str());
          const std::string withZero = text + '\0';
          const auto* bytes = reinterpret_cast<const unsigned char*>(withZero.data());
          const int count = static_cast<int>(withZero.size());
          for (int done = 0; done < count;) done += model.write(bytes + done, count - done);
        } else {
          const std::string text = stream.readString();
          std::string expected;
          while (model.position < static_cast<long long>(model.bytes.size())) {
            const unsigned char c = model.bytes[static_cast<std::size_t>(model.position++)];
            if (c == 0) break;
            expected.push_back(static_cast<char>(c));
          }
          Check(text == expected);
        }
        break;
      }
    }
    CheckSame(stream, model);
  }

  // A copy holds the same bytes.
  ZnMemoryByteStream copy(stream);
  copy.seek(0, 0);
  std::vector<unsigned char> all(model.bytes.size());
  Check(copy.readAll(all.data(), static_cast<int>(all.size())) == static_cast<int>(all.size()));
  Check(all == model.bytes);
  return 0;
}
