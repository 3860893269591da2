// The MM and VS families of numbered errors inside a CYqError, and the
// FXErrorUtil functions that make, test and read them.
#pragma once

#include <cstdint>
#include <string>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "zn/base/ZnExport.h"
#include "zuzazer/CYqError.h"

namespace zn::detail {

// VS n: 0xEC010000 | n. MM n below 0x10000: 0xEC020000 | n; above:
// 0xEC030000 | (n & 0xFFFF).
uint32_t VSCode(int number);
uint32_t MMCode(int number);

// What the two families share: an item carrying its family's number, with
// the texts "Error (<family>.<n>)" (formats 1 and 2) and
// "<location>/<family>.<n>" (the others). `Self` is the concrete class,
// so that a clone keeps it.
template <typename Self>
class NumberedErrorItem : public FXErrorItem {
 public:
  NumberedErrorItem(const FXCodeLocation& location, const char* family, int number)
      : FXErrorItem(location), m_family(family), m_number(number) {}

  std::string AsText(EErrorOutputFormat format) const override {
    if (format == eErrorOutputShort || format == eErrorOutputUser) return "Error (" + tag() + ")";
    return AsString();
  }
  std::string AsString() const override { return FXErrorItem::AsString() + "/" + tag(); }
  boost::shared_ptr<FXErrorItem> Clone() const override {
    return boost::make_shared<Self>(static_cast<const Self&>(*this));
  }

  int GetNumber() const { return m_number; }

 protected:
  // "MM.5"
  std::string tag() const { return std::string(m_family) + "." + std::to_string(m_number); }

 private:
  const char* m_family;
  int m_number;
};

// A numbered item with a description: "<description> (<family>.<n>)" for
// format 2, and the plain item's text followed by "-<description>" for the
// full text.
template <typename Base, typename Self>
class DescribedErrorItem : public Base {
 public:
  DescribedErrorItem(const FXCodeLocation& location, int number, std::string description)
      : Base(location, number), m_description(std::move(description)) {}

  std::string AsText(EErrorOutputFormat format) const override {
    if (format == eErrorOutputUser) return m_description + " (" + Base::tag() + ")";
    if (format == eErrorOutputShort) return Base::AsText(format);
    return AsString();
  }
  std::string AsString() const override { return Base::AsString() + "-" + m_description; }
  boost::shared_ptr<FXErrorItem> Clone() const override {
    return boost::make_shared<Self>(static_cast<const Self&>(*this));
  }

  const std::string& GetDescription() const { return m_description; }

 private:
  std::string m_description;
};

}  // namespace zn::detail

class ZN_EXPORT FXErrorItemMM : public zn::detail::NumberedErrorItem<FXErrorItemMM> {
 public:
  FXErrorItemMM(const FXCodeLocation& location, int number) : NumberedErrorItem(location, "MM", number) {}
};

class ZN_EXPORT FXErrorItemMMDescription
    : public zn::detail::DescribedErrorItem<FXErrorItemMM, FXErrorItemMMDescription> {
 public:
  using DescribedErrorItem::DescribedErrorItem;
};

class ZN_EXPORT FXErrorItemVS : public zn::detail::NumberedErrorItem<FXErrorItemVS> {
 public:
  FXErrorItemVS(const FXCodeLocation& location, int number) : NumberedErrorItem(location, "VS", number) {}
};

class ZN_EXPORT FXErrorItemVSDescription
    : public zn::detail::DescribedErrorItem<FXErrorItemVS, FXErrorItemVSDescription> {
 public:
  using DescribedErrorItem::DescribedErrorItem;
};

namespace FXErrorUtil {

ZN_EXPORT CYqError ErrorMM(const FXCodeLocation& location, int number);
ZN_EXPORT CYqError ErrorMM(const FXCodeLocation& location, int number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
ZN_EXPORT CYqError& PushMM(CYqError& error, const FXCodeLocation& location, int number);
ZN_EXPORT CYqError& PushMM(CYqError& error, const FXCodeLocation& location, int number, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
ZN_EXPORT bool IsMM(const CYqError& error, int number);
ZN_EXPORT bool IsNotMM(const CYqError& error, int number);
// 0 for success, the MM number when one is found, else 65535.
ZN_EXPORT int GetMM(const CYqError& error);

ZN_EXPORT CYqError ErrorVS(const FXCodeLocation& location, int number);
ZN_EXPORT CYqError ErrorVS(const FXCodeLocation& location, int number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
ZN_EXPORT CYqError& PushVS(CYqError& error, const FXCodeLocation& location, int number);
ZN_EXPORT CYqError& PushVS(CYqError& error, const FXCodeLocation& location, int number, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
ZN_EXPORT bool IsVS(const CYqError& error, int number);
ZN_EXPORT bool IsNotVS(const CYqError& error, int number);
ZN_EXPORT int GetVS(const CYqError& error);

}  // namespace FXErrorUtil
