// Fixed-width unsigned integers and their big- and little-endian byte forms:
// ZNWord (16 bits), ZNTriByte (24 bits held in 32), ZNDoubleWord (32 bits)
// and ZNQuadWord (64 bits). A null output pointer writes nothing; a null
// input pointer reads as 0.
#pragma once

#include "zn/base/ZnExport.h"

namespace zn::detail {

template <typename T, int Bytes>
constexpr T FromBigEndian(const unsigned char* in) {
  T value = 0;
  if (in == nullptr) return value;
  for (int i = 0; i < Bytes; ++i) value = static_cast<T>(value << 8 | in[i]);
  return value;
}

template <typename T, int Bytes>
constexpr T FromLittleEndian(const unsigned char* in) {
  T value = 0;
  if (in == nullptr) return value;
  for (int i = Bytes - 1; i >= 0; --i) value = static_cast<T>(value << 8 | in[i]);
  return value;
}

template <typename T, int Bytes>
constexpr void ToBigEndian(T value, unsigned char* out) {
  if (out == nullptr) return;
  for (int i = Bytes - 1; i >= 0; --i, value = static_cast<T>(value >> 8)) out[i] = static_cast<unsigned char>(value);
}

template <typename T, int Bytes>
constexpr void ToLittleEndian(T value, unsigned char* out) {
  if (out == nullptr) return;
  for (int i = 0; i < Bytes; ++i, value = static_cast<T>(value >> 8)) out[i] = static_cast<unsigned char>(value);
}

// Byte `index` of `value`, 0 being the least significant.
template <typename T>
constexpr unsigned char ByteOf(T value, int index) {
  return static_cast<unsigned char>(value >> (8 * index));
}

}  // namespace zn::detail

class ZN_EXPORT ZNWord {
 public:
  ZNWord(unsigned short value = 0) : m_value(value) {}
  ZNWord(const unsigned char* bytes, bool bigEndian) {
    if (bigEndian) {
      fromBigEndian(bytes);
    } else {
      fromLittleEndian(bytes);
    }
  }
  ZNWord& operator=(unsigned short value) {
    m_value = value;
    return *this;
  }

  unsigned short value() const { return m_value; }
  unsigned char msb() const { return zn::detail::ByteOf(m_value, 1); }
  unsigned char lsb() const { return zn::detail::ByteOf(m_value, 0); }

  void toBigEndian(unsigned char* out) const { zn::detail::ToBigEndian<unsigned short, 2>(m_value, out); }
  void toLittleEndian(unsigned char* out) const { zn::detail::ToLittleEndian<unsigned short, 2>(m_value, out); }
  void fromBigEndian(const unsigned char* in) { m_value = zn::detail::FromBigEndian<unsigned short, 2>(in); }
  void fromLittleEndian(const unsigned char* in) { m_value = zn::detail::FromLittleEndian<unsigned short, 2>(in); }

 private:
  unsigned short m_value = 0;
};

class ZN_EXPORT ZNTriByte {
 public:
  static constexpr unsigned int kMask = 0xFFFFFFu;

  ZNTriByte(unsigned int value = 0) : m_value(value & kMask) {}
  ZNTriByte(const unsigned char* bytes, bool bigEndian) {
    if (bigEndian) {
      fromBigEndian(bytes);
    } else {
      fromLittleEndian(bytes);
    }
  }
  ZNTriByte& operator=(unsigned int value) {
    m_value = value & kMask;
    return *this;
  }

  unsigned int value() const { return m_value; }
  unsigned char msb() const { return zn::detail::ByteOf(m_value, 2); }
  unsigned char nmsb() const { return zn::detail::ByteOf(m_value, 1); }
  unsigned char lsb() const { return zn::detail::ByteOf(m_value, 0); }

  void toBigEndian(unsigned char* out) const { zn::detail::ToBigEndian<unsigned int, 3>(m_value, out); }
  void toLittleEndian(unsigned char* out) const { zn::detail::ToLittleEndian<unsigned int, 3>(m_value, out); }
  void fromBigEndian(const unsigned char* in) { m_value = zn::detail::FromBigEndian<unsigned int, 3>(in); }
  void fromLittleEndian(const unsigned char* in) { m_value = zn::detail::FromLittleEndian<unsigned int, 3>(in); }

 private:
  unsigned int m_value = 0;
};

class ZN_EXPORT ZNDoubleWord {
 public:
  ZNDoubleWord(unsigned int value = 0) : m_value(value) {}
  ZNDoubleWord(const unsigned char* bytes, bool bigEndian) {
    if (bigEndian) {
      fromBigEndian(bytes);
    } else {
      fromLittleEndian(bytes);
    }
  }
  ZNDoubleWord& operator=(unsigned int value) {
    m_value = value;
    return *this;
  }

  unsigned int value() const { return m_value; }
  unsigned char msb() const { return zn::detail::ByteOf(m_value, 3); }

  void toBigEndian(unsigned char* out) const { zn::detail::ToBigEndian<unsigned int, 4>(m_value, out); }
  void toLittleEndian(unsigned char* out) const { zn::detail::ToLittleEndian<unsigned int, 4>(m_value, out); }
  void fromBigEndian(const unsigned char* in) { m_value = zn::detail::FromBigEndian<unsigned int, 4>(in); }
  void fromLittleEndian(const unsigned char* in) { m_value = zn::detail::FromLittleEndian<unsigned int, 4>(in); }

 private:
  unsigned int m_value = 0;
};

class ZN_EXPORT ZNQuadWord {
 public:
  ZNQuadWord(unsigned long long value = 0) : m_value(value) {}
  ZNQuadWord(unsigned int high, unsigned int low)
      : m_value(static_cast<unsigned long long>(high) << 32 | low) {}
  ZNQuadWord(const unsigned char* bytes, bool bigEndian) {
    if (bigEndian) {
      fromBigEndian(bytes);
    } else {
      fromLittleEndian(bytes);
    }
  }
  ZNQuadWord& operator=(unsigned long long value) {
    m_value = value;
    return *this;
  }

  unsigned long long value() const { return m_value; }
  unsigned int valueHigh() const { return static_cast<unsigned int>(m_value >> 32); }
  unsigned int valueLow() const { return static_cast<unsigned int>(m_value); }

  unsigned char msb() const { return zn::detail::ByteOf(m_value, 7); }
  unsigned char nmsb() const { return zn::detail::ByteOf(m_value, 6); }
  unsigned char nnmsb() const { return zn::detail::ByteOf(m_value, 5); }
  unsigned char nnnmsb() const { return zn::detail::ByteOf(m_value, 4); }
  unsigned char nnnlsb() const { return zn::detail::ByteOf(m_value, 3); }
  unsigned char nnlsb() const { return zn::detail::ByteOf(m_value, 2); }
  unsigned char nlsb() const { return zn::detail::ByteOf(m_value, 1); }
  unsigned char lsb() const { return zn::detail::ByteOf(m_value, 0); }

  void toBigEndian(unsigned char* out) const { zn::detail::ToBigEndian<unsigned long long, 8>(m_value, out); }
  void toLittleEndian(unsigned char* out) const { zn::detail::ToLittleEndian<unsigned long long, 8>(m_value, out); }
  void fromBigEndian(const unsigned char* in) { m_value = zn::detail::FromBigEndian<unsigned long long, 8>(in); }
  void fromLittleEndian(const unsigned char* in) {
    m_value = zn::detail::FromLittleEndian<unsigned long long, 8>(in);
  }

  // a / b in floating point over the whole unsigned range; -1.0 when b is 0.
  static double divide(unsigned long long a, unsigned long long b);

 private:
  unsigned long long m_value = 0;
};
