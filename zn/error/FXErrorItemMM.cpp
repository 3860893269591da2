#include "zn/error/FXErrorItemMM.h"

#include <cstdarg>
#include <string>

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

// The item for a number: the plain one without a format, else the one
// described by the formatted text.
template <typename Plain, typename Described>
boost::shared_ptr<FXErrorItem> MakeItem(const FXCodeLocation& location, int number, const char* format,
                                        va_list args) {
  if (format == nullptr || format[0] == '\0') return boost::make_shared<Plain>(location, number);
  return boost::make_shared<Described>(location, number, Description(format, args));
}

}  // namespace

uint32_t VSCode(int number) { return 0xEC010000u | static_cast<uint32_t>(number); }

uint32_t MMCode(int number) {
  const auto n = static_cast<uint32_t>(number);
  return n < 0x10000u ? (0xEC020000u | n) : (0xEC030000u | (n & 0xFFFFu));
}

}  // namespace zn::detail

using zn::detail::MakeItem;
using zn::detail::MMCode;
using zn::detail::VSCode;

namespace FXErrorUtil {

CYqError ErrorMM(const FXCodeLocation& location, int number) {
  return CYqError(static_cast<long>(MMCode(number)), boost::make_shared<FXErrorItemMM>(location, number));
}

CYqError ErrorMM(const FXCodeLocation& location, int number, const char* format, ...) {
  va_list args;
  va_start(args, format);
  auto item = MakeItem<FXErrorItemMM, FXErrorItemMMDescription>(location, number, format, args);
  va_end(args);
  return CYqError(static_cast<long>(MMCode(number)), std::move(item));
}

CYqError& PushMM(CYqError& error, const FXCodeLocation& location, int number) {
  return error.Push(boost::make_shared<FXErrorItemMM>(location, number));
}

CYqError& PushMM(CYqError& error, const FXCodeLocation& location, int number, const char* format, ...) {
  va_list args;
  va_start(args, format);
  auto item = MakeItem<FXErrorItemMM, FXErrorItemMMDescription>(location, number, format, args);
  va_end(args);
  return error.Push(std::move(item));
}

bool IsMM(const CYqError& error, int number) { return error.Is(MMCode(number)); }

bool IsNotMM(const CYqError& error, int number) { return !IsMM(error, number); }

int GetMM(const CYqError& error) { return zn::detail::FindNumber(error, &zn::detail::DecodeMM); }

CYqError ErrorVS(const FXCodeLocation& location, int number) {
  return CYqError(static_cast<long>(VSCode(number)), boost::make_shared<FXErrorItemVS>(location, number));
}

CYqError ErrorVS(const FXCodeLocation& location, int number, const char* format, ...) {
  va_list args;
  va_start(args, format);
  auto item = MakeItem<FXErrorItemVS, FXErrorItemVSDescription>(location, number, format, args);
  va_end(args);
  return CYqError(static_cast<long>(VSCode(number)), std::move(item));
}

CYqError& PushVS(CYqError& error, const FXCodeLocation& location, int number) {
  return error.Push(boost::make_shared<FXErrorItemVS>(location, number));
}

CYqError& PushVS(CYqError& error, const FXCodeLocation& location, int number, const char* format, ...) {
  va_list args;
  va_start(args, format);
  auto item = MakeItem<FXErrorItemVS, FXErrorItemVSDescription>(location, number, format, args);
  va_end(args);
  return error.Push(std::move(item));
}

bool IsVS(const CYqError& error, int number) { return error.Is(VSCode(number)); }

bool IsNotVS(const CYqError& error, int number) { return !IsVS(error, number); }

int GetVS(const CYqError& error) { return zn::detail::FindNumber(error, &zn::detail::DecodeVS); }

}  // namespace FXErrorUtil
