// A password as the configuration store keeps it: its encoded text. The
// encodings themselves (making the text from a plain password and back)
// belong to the password module; the store only moves the text.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"

class ZN_EXPORT ZNPassword {
 public:
  ZNPassword() = default;
  explicit ZNPassword(std::string encoded) : m_encoded(std::move(encoded)) {}

  const std::string& getEncoded() const { return m_encoded; }
  void setEncoded(const std::string& encoded) { m_encoded = encoded; }
  bool isEmpty() const { return m_encoded.empty(); }

 private:
  std::string m_encoded;
};
