#include "zn/crypto/znc_bucket.h"

#include <string.h>

#include <atomic>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "zn/crypto/CryptoTesting.h"
#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/znc.h"
#include "zn/stream/ZnByteStream.h"

namespace {

using zn::detail::ThrowCryptoError;
using Storage = ZncBucket::Storage;

constexpr int kGrain = 64;
std::atomic<zn::testing::BucketReleaseHook> g_releaseHook{nullptr};

void Wipe(void* p, std::size_t n) {
  if (n != 0) ::explicit_bzero(p, n);
}

// A multiple of 64 not below `size`; 0 when that does not fit.
int CapacityFor(int size) {
  if (size > INT_MAX - (kGrain - 1)) return 0;
  return (size + kGrain - 1) / kGrain * kGrain;
}

void FreeBlock(unsigned char* data, int capacity) {
  Wipe(data, static_cast<std::size_t>(capacity));
  if (auto hook = g_releaseHook.load(std::memory_order_acquire)) hook(data, capacity);
  std::free(data);
}

// A new storage of `size` bytes: `copy` of them from `source`, the rest zero.
Storage* NewStorage(int size, const unsigned char* source, int copy, const char* function) {
  const int capacity = CapacityFor(size > 0 ? size : 1);
  void* block = capacity > 0 ? std::calloc(static_cast<std::size_t>(capacity), 1) : nullptr;
  if (block == nullptr) ThrowCryptoError(function, "Not enough memory");
  auto* storage = new (std::nothrow) Storage{static_cast<unsigned char*>(block), size, capacity, {1}};
  if (storage == nullptr) {
    std::free(block);
    ThrowCryptoError(function, "Not enough memory");
  }
  if (copy > 0) std::memcpy(storage->data, source, static_cast<std::size_t>(copy));
  return storage;
}

void Unref(Storage* storage) {
  if (storage->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    FreeBlock(storage->data, storage->capacity);
    delete storage;
  }
}

}  // namespace

ZncBucket::ZncBucket() { std::memset(m_inline, 0, sizeof m_inline); }

ZncBucket::ZncBucket(int size) : ZncBucket() { resize(size); }

ZncBucket::ZncBucket(const void* data, int size) : ZncBucket() { assign(data, size); }

ZncBucket::ZncBucket(const std::vector<unsigned char>& bytes) : ZncBucket() {
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) ThrowCryptoError("ZncBucket::ZncBucket", "Not enough memory");
  assign(bytes.data(), static_cast<int>(bytes.size()));
}

ZncBucket::ZncBucket(const ZncBucket& other) : ZncBucket() { *this = other; }

ZncBucket& ZncBucket::operator=(const ZncBucket& other) {
  if (this == &other) return *this;
  if (other.m_storage != nullptr) {
    other.m_storage->refs.fetch_add(1, std::memory_order_relaxed);
    release();
    m_storage = other.m_storage;
  } else {
    release();
    std::memcpy(m_inline, other.m_inline, static_cast<std::size_t>(other.m_size));
    m_size = other.m_size;
  }
  return *this;
}

ZncBucket::~ZncBucket() {
  if (m_storage != nullptr) Unref(m_storage);
  Wipe(m_inline, sizeof m_inline);
}

// Back to an empty inline bucket, wiping what it held.
void ZncBucket::release() {
  if (m_storage != nullptr) {
    Unref(m_storage);
    m_storage = nullptr;
  }
  Wipe(m_inline, sizeof m_inline);
  m_size = 0;
}

void ZncBucket::assign(const void* data, int size) {
  if (size < 0) ThrowCryptoError("ZncBucket::ZncBucket", "Negative size passed as input.");
  if (size > 0 && data == nullptr) ThrowCryptoError("ZncBucket::ZncBucket", "NULL data passed as input.");
  resize(size);
  if (size > 0) std::memcpy(getData(), data, static_cast<std::size_t>(size));
}

void ZncBucket::detach() {
  if (m_storage == nullptr || m_storage->refs.load(std::memory_order_acquire) < 2) return;
  Storage* copy = NewStorage(m_storage->size, m_storage->data, m_storage->size, "ZncBucket::detach");
  Unref(m_storage);
  m_storage = copy;
}

unsigned char* ZncBucket::getData() {
  detach();
  return m_storage != nullptr ? m_storage->data : m_inline;
}

const unsigned char* ZncBucket::getData() const { return m_storage != nullptr ? m_storage->data : m_inline; }

void ZncBucket::resize(int size) {
  if (size < 0) ThrowCryptoError("ZncBucket::resize", "Negative size passed as input.");
  detach();
  if (m_storage == nullptr) {
    if (size <= kInlineSize) {
      if (size < m_size) Wipe(m_inline + size, static_cast<std::size_t>(m_size - size));
      m_size = size;
      return;
    }
    m_storage = NewStorage(size, m_inline, m_size, "ZncBucket::resize");
    Wipe(m_inline, sizeof m_inline);
    m_size = 0;
    return;
  }
  Storage& s = *m_storage;
  if (size <= s.capacity) {
    if (size < s.size) Wipe(s.data + size, static_cast<std::size_t>(s.size - size));
    s.size = size;
    return;
  }
  const int capacity = CapacityFor(size);
  auto* block = capacity > 0 ? static_cast<unsigned char*>(std::calloc(static_cast<std::size_t>(capacity), 1)) : nullptr;
  if (block == nullptr) ThrowCryptoError("ZncBucket::resize", "Not enough memory");
  std::memcpy(block, s.data, static_cast<std::size_t>(s.size));
  FreeBlock(s.data, s.capacity);
  s.data = block;
  s.capacity = capacity;
  s.size = size;
}

void ZncBucket::append(const ZncBucket& other) {
  // Copied first: `other` may be this bucket, or share its storage.
  const ZncBucket tail(other);
  append(tail.getData(), tail.getSize());
}

void ZncBucket::append(const void* data, int size) {
  if (size < 0) ThrowCryptoError("ZncBucket::append", "Negative size passed as input.");
  if (size == 0) return;
  if (data == nullptr) ThrowCryptoError("ZncBucket::append", "NULL data passed as input.");
  const int old = getSize();
  if (old > INT_MAX - size) ThrowCryptoError("ZncBucket::append", "Not enough memory");
  // The source may lie inside this bucket, which resize may move.
  const unsigned char* begin = getData();
  if (static_cast<const unsigned char*>(data) >= begin && static_cast<const unsigned char*>(data) < begin + old) {
    const ZncBucket copy(data, size);
    append(copy.getData(), size);
    return;
  }
  resize(old + size);
  std::memcpy(getData() + old, data, static_cast<std::size_t>(size));
}

unsigned char& ZncBucket::operator[](int index) {
  if (index < 0 || index >= getSize()) ThrowCryptoError("ZncBucket::operator[]", "Index is out of bounds.");
  return getData()[index];
}

unsigned char ZncBucket::operator[](int index) const {
  if (index < 0 || index >= getSize()) ThrowCryptoError("ZncBucket::operator[]", "Index is out of bounds.");
  return getData()[index];
}

bool ZncBucket::operator==(const ZncBucket& other) const {
  if (getSize() != other.getSize()) return false;
  return getSize() == 0 || std::memcmp(getData(), other.getData(), static_cast<std::size_t>(getSize())) == 0;
}

ZncBucket::operator std::vector<unsigned char>() const {
  return std::vector<unsigned char>(getData(), getData() + getSize());
}

void ZncBucket::loadBin(const char* path) {
  ZnStdioByteStream stream(path, "r");
  stream.seek(0, 2);
  const long long length = stream.tell();
  if (length > INT_MAX) ThrowCryptoError("ZncBucket::loadBin", "Not enough memory");
  stream.seek(0, 0);
  ZncBucket bytes(static_cast<int>(length));
  const int got = length > 0 ? stream.readAll(bytes.getData(), bytes.getSize()) : 0;
  bytes.resize(got);
  *this = bytes;
}

void ZncBucket::saveBin(const char* path) const {
  ZnStdioByteStream stream(path, "w");
  if (getSize() > 0) stream.writeAll(getData(), getSize());
}

void ZncBucket::loadHex(const char* path) {
  ZncBucket text;
  text.loadBin(path);
  // The file's first word.
  const auto* p = text.getData();
  int begin = 0;
  const int n = text.getSize();
  while (begin < n && std::isspace(p[begin])) ++begin;
  int end = begin;
  while (end < n && !std::isspace(p[end]) && p[end] != '\0') ++end;
  ZncBucket word(p + begin, end - begin);
  word.append("", 1);
  *this = Znc::hex2bin(reinterpret_cast<const char*>(word.getData()));
}

void ZncBucket::saveHex(const char* path) const {
  secure_basic_string<char> text = Znc::bin2hex_s(*this);
  text.push_back('\n');
  ZnStdioByteStream stream(path, "w");
  stream.writeAll(text.data(), static_cast<int>(text.size()));
}

void zn::testing::SetBucketReleaseHook(BucketReleaseHook hook) { g_releaseHook.store(hook, std::memory_order_release); }
