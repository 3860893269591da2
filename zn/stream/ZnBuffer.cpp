#include "zn/stream/ZnBuffer.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

#include "zn/stream/internal/StreamError.h"

namespace {

constexpr std::size_t kGranule = 8;

// Storage for `size` bytes, rounded up to whole granules; null for 0.
std::unique_ptr<char[]> Allocate(int size, const char* function) {
  if (size < 0) zn::detail::ThrowStreamError(function, "Allocation size can't be negative");
  if (size == 0) return nullptr;
  const std::size_t bytes = ((static_cast<std::size_t>(size) - 1) / kGranule + 1) * kGranule;
  std::unique_ptr<char[]> storage(new (std::nothrow) char[bytes]);
  if (!storage) zn::detail::ThrowStreamError(function, zn::detail::kNotEnoughMemory);
  return storage;
}

std::unique_ptr<char[]> CopyOf(const void* data, int size, const char* function) {
  std::unique_ptr<char[]> storage = Allocate(size, function);
  if (data != nullptr && size > 0) std::memcpy(storage.get(), data, static_cast<std::size_t>(size));
  return storage;
}

constexpr const char* kAlloc = "ZnBuffer::alloc";

}  // namespace

ZnBuffer::ZnBuffer(int size) : m_data(Allocate(size, kAlloc)), m_size(size) {}

ZnBuffer::ZnBuffer(const void* data, int size) : m_data(CopyOf(data, size, kAlloc)), m_size(size) {}

ZnBuffer::ZnBuffer(const ZnBuffer& other) : m_data(CopyOf(other.m_data.get(), other.m_size, kAlloc)), m_size(other.m_size) {}

ZnBuffer::ZnBuffer(ZnBuffer&& other) noexcept
    : m_data(std::move(other.m_data)), m_size(std::exchange(other.m_size, 0)) {}

ZnBuffer& ZnBuffer::operator=(const ZnBuffer& other) {
  if (this != &other) {
    // The copy is made first, so a failure leaves this buffer as it was.
    m_data = CopyOf(other.m_data.get(), other.m_size, kAlloc);
    m_size = other.m_size;
  }
  return *this;
}

ZnBuffer& ZnBuffer::operator=(ZnBuffer&& other) noexcept {
  if (this != &other) {
    m_data = std::move(other.m_data);
    m_size = std::exchange(other.m_size, 0);
  }
  return *this;
}

ZnBuffer::~ZnBuffer() = default;

void ZnBuffer::resize(int size) {
  constexpr const char* kResize = "ZnBuffer::resize";
  if (size < 0) zn::detail::ThrowStreamError(kResize, "Allocation size can't be negative");
  if (size == 0) {
    m_data.reset();
    m_size = 0;
    return;
  }
  std::unique_ptr<char[]> storage = Allocate(size, kResize);
  const int kept = size < m_size ? size : m_size;
  if (kept > 0) std::memcpy(storage.get(), m_data.get(), static_cast<std::size_t>(kept));
  m_data = std::move(storage);
  m_size = size;
}
