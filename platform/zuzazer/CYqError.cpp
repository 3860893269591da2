#include "zuzazer/CYqError.h"

#include <cstdarg>
#include <cstdio>

#include <boost/make_shared.hpp>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXString.h"

namespace {

const char* BaseName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace

FXCodeLocation::FXCodeLocation(const char* file, const char* function, int line)
    : m_file(file != nullptr ? file : ""),
      m_function(function != nullptr ? function : ""),
      m_line(line) {}

std::string FXCodeLocation::AsString() const {
  return m_function + "(" + BaseName(m_file) + ":" + std::to_string(m_line) + ")";
}

FXErrorItem::FXErrorItem(const FXCodeLocation& location) : m_location(location) {}

FXErrorItem::~FXErrorItem() = default;

std::string FXErrorItem::AsText(EErrorOutputFormat /*format*/) const { return AsString(); }

std::string FXErrorItem::AsString() const { return m_location.AsString(); }

boost::shared_ptr<FXErrorItem> FXErrorItem::Clone() const {
  return boost::make_shared<FXErrorItem>(*this);
}

FXErrorItemText::FXErrorItemText(const FXCodeLocation& location, uint32_t code, std::string text)
    : FXErrorItem(location), m_code(code), m_text(std::move(text)) {}

std::string FXErrorItemText::AsText(EErrorOutputFormat format) const {
  switch (format) {
    case eErrorOutputShort: return "Error (" + std::to_string(m_code) + ")";
    case eErrorOutputUser: return m_text;
    default: return AsString();
  }
}

namespace {

// Win32 numbers in decimal, as people know them; larger codes (HRESULTs,
// error families) in hexadecimal.
std::string CodeText(uint32_t code) {
  if (code <= 0xFFFFu) return std::to_string(code);
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}

}  // namespace

std::string FXErrorItemText::AsString() const {
  std::string text = FXErrorItem::AsString() + " [" + CodeText(m_code) + "]";
  if (!m_text.empty()) text += " " + m_text;
  return text;
}

boost::shared_ptr<FXErrorItem> FXErrorItemText::Clone() const {
  return boost::make_shared<FXErrorItemText>(*this);
}

CYqError::CYqError(long code, boost::shared_ptr<FXErrorItem> item)
    : m_code(static_cast<uint32_t>(code)) {
  if (item) m_items.push_back(std::move(item));
}

bool CYqError::Is(uint32_t code) const {
  if (!IsError()) return false;
  for (const uint32_t match : FXErrorUtil::GetMatches(m_code)) {
    if (match == code) return true;
  }
  return false;
}

std::string CYqError::AsString() const {
  if (!IsError()) return "Success";
  if (m_items.empty()) return "Error [" + std::to_string(m_code) + "]";
  std::string text;
  for (const auto& item : m_items) {
    if (!text.empty()) text += " <- ";
    text += item->AsString();
  }
  return text;
}

std::string CYqError::AsString(EErrorOutputFormat format) const {
  if (format != eErrorOutputShort && format != eErrorOutputUser) return AsString();
  if (!IsError()) return "Success";
  if (m_items.empty()) return "Error (" + std::to_string(m_code) + ")";
  return m_items.front()->AsText(format);
}

CYqError& CYqError::Push(const FXCodeLocation& location) {
  if (IsError()) m_items.push_back(boost::make_shared<FXErrorItem>(location));
  return *this;
}

CYqError& CYqError::Push(const FXCodeLocation& location, const char* format, ...) {
  if (!IsError()) return *this;
  std::string text;
  va_list args;
  va_start(args, format);
  FXString::FormatArgList(text, format, args);  // on overflow keep what fitted
  va_end(args);
  m_items.push_back(boost::make_shared<FXErrorItemText>(location, m_code, std::move(text)));
  return *this;
}

CYqError& CYqError::Push(boost::shared_ptr<FXErrorItem> item) {
  if (IsError() && item) m_items.push_back(std::move(item));
  return *this;
}
