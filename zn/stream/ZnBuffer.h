// A growable raw byte buffer. Storage comes in whole multiples of 8 bytes;
// a size of 0 holds no storage at all. Fresh storage is not initialised.
#pragma once

#include <memory>

#include "zn/base/ZnExport.h"

class ZN_EXPORT ZnBuffer {
 public:
  // Throws ZnException "Allocation size can't be negative" for a negative
  // size and "Not enough memory" when the storage cannot be had.
  explicit ZnBuffer(int size = 0);
  // Copies `size` bytes from `data`; with null data the storage is left
  // uninitialised, as with ZnBuffer(size).
  ZnBuffer(const void* data, int size);
  ZnBuffer(const ZnBuffer& other);
  ZnBuffer(ZnBuffer&& other) noexcept;
  ZnBuffer& operator=(const ZnBuffer& other);
  ZnBuffer& operator=(ZnBuffer&& other) noexcept;
  ~ZnBuffer();

  // Keeps the first min(old, new) bytes. A size below 1 frees the storage.
  // On failure the buffer keeps its old storage and size.
  void resize(int size);
  int getSize() const { return m_size; }

  operator char*() { return m_data.get(); }
  operator void*() { return m_data.get(); }
  operator const char*() const { return m_data.get(); }
  operator const void*() const { return m_data.get(); }

 private:
  std::unique_ptr<char[]> m_data;
  int m_size = 0;
};
