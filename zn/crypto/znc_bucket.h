// ZncBucket: the byte string of all cryptographic code (keys, IVs, digests,
// cipher text). Up to 128 bytes live inline and never touch the heap; a
// larger bucket moves into a shared, reference-counted storage that copies
// share until one of them is written (copy on write). Every byte a bucket
// held is zeroed before its memory is released or reallocated.
//
// Copies of one bucket share its storage without a lock: copies may be read
// from several threads, but must not be written from two threads at once.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "zn/base/ZnExport.h"

class ZN_EXPORT ZncBucket {
 public:
  static constexpr int kInlineSize = 128;

  ZncBucket();
  // `size` zero bytes.
  explicit ZncBucket(int size);
  ZncBucket(const void* data, int size);
  ZncBucket(const std::vector<unsigned char>& bytes);  // NOLINT: converts, as the Windows original does
  ZncBucket(const ZncBucket& other);
  ZncBucket& operator=(const ZncBucket& other);
  ~ZncBucket();

  // Writable bytes: a shared storage is copied first.
  unsigned char* getData();
  const unsigned char* getData() const;
  int getSize() const { return m_storage != nullptr ? m_storage->size : m_size; }

  // Keeps the first bytes; bytes added are zero.
  void resize(int size);
  void append(const ZncBucket& other);
  void append(const void* data, int size);

  unsigned char& operator[](int index);
  unsigned char operator[](int index) const;

  // Equal when both are empty, or when sizes and bytes are equal.
  bool operator==(const ZncBucket& other) const;
  bool operator!=(const ZncBucket& other) const { return !(*this == other); }

  operator std::vector<unsigned char>() const;  // NOLINT

  // The whole file is the bytes.
  void loadBin(const char* path);
  void saveBin(const char* path) const;
  // One hexadecimal string (the file's first word); saveHex writes the
  // lower-case digits and one newline.
  void loadHex(const char* path);
  void saveHex(const char* path) const;

  struct Storage {
    unsigned char* data;
    int size;
    int capacity;  // a multiple of 64
    std::atomic<int> refs;
  };

 private:
  void detach();
  void release();
  void assign(const void* data, int size);

  int m_size = 0;
  unsigned char m_inline[kInlineSize];
  Storage* m_storage = nullptr;
};
