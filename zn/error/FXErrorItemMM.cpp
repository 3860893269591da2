#include "zn/error/FXErrorItemMM.h"

#include <cstdarg>
#include <string>

#include <boost/make_shared.hpp>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXString.h"

namespace zn::detail {
namespace {

constexpr uint32_t kCustomerBit = 1u << 29;
constexpr uint32_t kFamilyVS = 0xC01;
constexpr uint32_t kFamilyMMLow = 0xC02;
constexpr uint32_t kFamilyMMHigh = 0xC03;

uint32_t FamilyOf(uint32_t code) { return (code >> 16) & 0xFFFu; }

// The MM number a code carries, or -1 when it is no MM code.
int DecodeMM(uint32_t code) {
  if ((code & kCustomerBit) == 0) return -1;
  if (FamilyOf(code) == kFamilyMMLow) return static_cast<int>(code & 0xFFFFu);
  if (FamilyOf(code) == kFamilyMMHigh) return static_cast<int>((code & 0xFFFFu) + 0x10000u);
  return -1;
}

int DecodeVS(uint32_t code) {
  if ((code & kCustomerBit) == 0 || FamilyOf(code) != kFamilyVS) return -1;
  return static_cast<int>(code & 0xFFFFu);
}

// First the error's own code, then the codes the utility library matches it
// with; 0 for success and 65535 when no code decodes.
int FindNumber(const CYqError& error, int (*decode)(uint32_t)) {
  if (!error.IsError()) return 0;
  for (const uint32_t code : FXErrorUtil::GetMatches(error.GetErrorCode())) {
    const int number = decode(code);
    if (number >= 0) return number;
  }
  return 0xFFFF;
}

std::string Description(const char* format, va_list args) {
  std::string text;
  if (FXString::FormatArgList(text, format, args).IsError()) text = "[BUFFEROVERFLOW] " + text;
  return text;
}

}  // namespace

uint32_t VSCode(int number) { return 0xEC010000u | static_cast<uint32_t>(number); }

uint32_t MMCode(int number) {
  const auto n = static_cast<uint32_t>(number);
  return n < 0x10000u ? (0xEC020000u | n) : (0xEC030000u | (n & 0xFFFFu));
}

}  // namespace zn::detail

using zn::detail::MMCode;
using zn::detail::VSCode;

// ---- MM items ----

FXErrorItemMM::FXErrorItemMM(const FXCodeLocation& location, int number)
    : FXErrorItem(location), m_number(number) {}

std::string FXErrorItemMM::AsText(EErrorOutputFormat format) const {
  if (format == eErrorOutputShort || format == eErrorOutputUser) return "Error (MM." + std::to_string(m_number) + ")";
  return AsString();
}

std::string FXErrorItemMM::AsString() const { return FXErrorItem::AsString() + "/MM." + std::to_string(m_number); }

boost::shared_ptr<FXErrorItem> FXErrorItemMM::Clone() const { return boost::make_shared<FXErrorItemMM>(*this); }

FXErrorItemMMDescription::FXErrorItemMMDescription(const FXCodeLocation& location, int number,
                                                   std::string description)
    : FXErrorItemMM(location, number), m_description(std::move(description)) {}

std::string FXErrorItemMMDescription::AsText(EErrorOutputFormat format) const {
  if (format == eErrorOutputUser) return m_description + " (MM." + std::to_string(GetNumber()) + ")";
  if (format == eErrorOutputShort) return FXErrorItemMM::AsText(format);
  return AsString();
}

std::string FXErrorItemMMDescription::AsString() const { return FXErrorItemMM::AsString() + "-" + m_description; }

boost::shared_ptr<FXErrorItem> FXErrorItemMMDescription::Clone() const {
  return boost::make_shared<FXErrorItemMMDescription>(*this);
}

// ---- VS items ----

FXErrorItemVS::FXErrorItemVS(const FXCodeLocation& location, int number)
    : FXErrorItem(location), m_number(number) {}

std::string FXErrorItemVS::AsText(EErrorOutputFormat format) const {
  if (format == eErrorOutputShort || format == eErrorOutputUser) return "Error (VS." + std::to_string(m_number) + ")";
  return AsString();
}

std::string FXErrorItemVS::AsString() const { return FXErrorItem::AsString() + "/VS." + std::to_string(m_number); }

boost::shared_ptr<FXErrorItem> FXErrorItemVS::Clone() const { return boost::make_shared<FXErrorItemVS>(*this); }

FXErrorItemVSDescription::FXErrorItemVSDescription(const FXCodeLocation& location, int number,
                                                   std::string description)
    : FXErrorItemVS(location, number), m_description(std::move(description)) {}

std::string FXErrorItemVSDescription::AsText(EErrorOutputFormat format) const {
  if (format == eErrorOutputUser) return m_description + " (VS." + std::to_string(GetNumber()) + ")";
  if (format == eErrorOutputShort) return FXErrorItemVS::AsText(format);
  return AsString();
}

std::string FXErrorItemVSDescription::AsString() const { return FXErrorItemVS::AsString() + "-" + m_description; }

boost::shared_ptr<FXErrorItem> FXErrorItemVSDescription::Clone() const {
  return boost::make_shared<FXErrorItemVSDescription>(*this);
}

// ---- FXErrorUtil ----

namespace FXErrorUtil {

CYqError ErrorMM(const FXCodeLocation& location, int number) {
  return CYqError(static_cast<long>(MMCode(number)), boost::make_shared<FXErrorItemMM>(location, number));
}

CYqError ErrorMM(const FXCodeLocation& location, int number, const char* format, ...) {
  if (format == nullptr || format[0] == '\0') return ErrorMM(location, number);
  va_list args;
  va_start(args, format);
  std::string description = zn::detail::Description(format, args);
  va_end(args);
  return CYqError(static_cast<long>(MMCode(number)),
                  boost::make_shared<FXErrorItemMMDescription>(location, number, std::move(description)));
}

CYqError& PushMM(CYqError& error, const FXCodeLocation& location, int number) {
  return error.Push(boost::make_shared<FXErrorItemMM>(location, number));
}

CYqError& PushMM(CYqError& error, const FXCodeLocation& location, int number, const char* format, ...) {
  if (format == nullptr || format[0] == '\0') return PushMM(error, location, number);
  va_list args;
  va_start(args, format);
  std::string description = zn::detail::Description(format, args);
  va_end(args);
  return error.Push(boost::make_shared<FXErrorItemMMDescription>(location, number, std::move(description)));
}

bool IsMM(const CYqError& error, int number) { return error.Is(MMCode(number)); }

bool IsNotMM(const CYqError& error, int number) { return !IsMM(error, number); }

int GetMM(const CYqError& error) { return zn::detail::FindNumber(error, &zn::detail::DecodeMM); }

CYqError ErrorVS(const FXCodeLocation& location, int number) {
  return CYqError(static_cast<long>(VSCode(number)), boost::make_shared<FXErrorItemVS>(location, number));
}

CYqError ErrorVS(const FXCodeLocation& location, int number, const char* format, ...) {
  if (format == nullptr || format[0] == '\0') return ErrorVS(location, number);
  va_list args;
  va_start(args, format);
  std::string description = zn::detail::Description(format, args);
  va_end(args);
  return CYqError(static_cast<long>(VSCode(number)),
                  boost::make_shared<FXErrorItemVSDescription>(location, number, std::move(description)));
}

CYqError& PushVS(CYqError& error, const FXCodeLocation& location, int number) {
  return error.Push(boost::make_shared<FXErrorItemVS>(location, number));
}

CYqError& PushVS(CYqError& error, const FXCodeLocation& location, int number, const char* format, ...) {
  if (format == nullptr || format[0] == '\0') return PushVS(error, location, number);
  va_list args;
  va_start(args, format);
  std::string description = zn::detail::Description(format, args);
  va_end(args);
  return error.Push(boost::make_shared<FXErrorItemVSDescription>(location, number, std::move(description)));
}

bool IsVS(const CYqError& error, int number) { return error.Is(VSCode(number)); }

bool IsNotVS(const CYqError& error, int number) { return !IsVS(error, number); }

int GetVS(const CYqError& error) { return zn::detail::FindNumber(error, &zn::detail::DecodeVS); }

}  // namespace FXErrorUtil
