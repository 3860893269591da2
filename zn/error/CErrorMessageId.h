// The packed id of a message in a message catalogue: subsystem in bits
// 31..24, index in bits 23..0; and an id with its text.
#pragma once

#include <cstdint>
#include <string>

#include "zn/base/ZnExport.h"

class ZN_EXPORT CErrorMessageId {
 public:
  CErrorMessageId() = default;
  CErrorMessageId(unsigned char subSystemId, unsigned int index) { messageId(subSystemId, index); }
  explicit CErrorMessageId(unsigned int value) : m_value(value) {}
  CErrorMessageId(const CErrorMessageId&) = default;
  CErrorMessageId& operator=(const CErrorMessageId&) = default;
  CErrorMessageId& operator=(unsigned int value) {
    m_value = value;
    return *this;
  }

  // value := subsystem << 24 | index. The index is not masked: callers pass
  // indexes below 2^24.
  unsigned int messageId(unsigned char subSystemId, unsigned int index) {
    m_value = (static_cast<unsigned int>(subSystemId) << 24) | index;
    return m_value;
  }
  unsigned char subSystemId() const { return static_cast<unsigned char>(m_value >> 24); }
  unsigned int index() const { return m_value & 0xFFFFFFu; }
  unsigned int value() const { return m_value; }

  bool operator==(const CErrorMessageId& other) const { return m_value == other.m_value; }
  bool operator!=(const CErrorMessageId& other) const { return m_value != other.m_value; }
  bool operator==(unsigned int value) const { return m_value == value; }
  bool operator!=(unsigned int value) const { return m_value != value; }

 private:
  uint32_t m_value = 0;
};

class ZN_EXPORT CErrorMessage {
 public:
  CErrorMessage() = default;
  CErrorMessage(const CErrorMessage&) = default;
  CErrorMessage& operator=(const CErrorMessage&) = default;
  ~CErrorMessage() = default;

  CErrorMessageId m_id;
  std::wstring m_text;
};
