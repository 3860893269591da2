// The MM and VS families of numbered errors inside a CYqError, and the
// FXErrorUtil functions that make, test and read them.
#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "zuzazer/CYqError.h"

namespace zn::detail {

// VS n: 0xEC010000 | n. MM n below 0x10000: 0xEC020000 | n; above:
// 0xEC030000 | (n & 0xFFFF).
uint32_t VSCode(int number);
uint32_t MMCode(int number);

}  // namespace zn::detail

class FXErrorItemMM : public FXErrorItem {
 public:
  FXErrorItemMM(const FXCodeLocation& location, int number);

  std::string AsText(EErrorOutputFormat format) const override;
  std::string AsString() const override;
  boost::shared_ptr<FXErrorItem> Clone() const override;

  int GetNumber() const { return m_number; }

 private:
  int m_number;
};

class FXErrorItemMMDescription : public FXErrorItemMM {
 public:
  FXErrorItemMMDescription(const FXCodeLocation& location, int number, std::string description);

  std::string AsText(EErrorOutputFormat format) const override;
  std::string AsString() const override;
  boost::shared_ptr<FXErrorItem> Clone() const override;

  const std::string& GetDescription() const { return m_description; }

 private:
  std::string m_description;
};

class FXErrorItemVS : public FXErrorItem {
 public:
  FXErrorItemVS(const FXCodeLocation& location, int number);

  std::string AsText(EErrorOutputFormat format) const override;
  std::string AsString() const override;
  boost::shared_ptr<FXErrorItem> Clone() const override;

  int GetNumber() const { return m_number; }

 private:
  int m_number;
};

class FXErrorItemVSDescription : public FXErrorItemVS {
 public:
  FXErrorItemVSDescription(const FXCodeLocation& location, int number, std::string description);

  std::string AsText(EErrorOutputFormat format) const override;
  std::string AsString() const override;
  boost::shared_ptr<FXErrorItem> Clone() const override;

  const std::string& GetDescription() const { return m_description; }

 private:
  std::string m_description;
};

namespace FXErrorUtil {

CYqError ErrorMM(const FXCodeLocation& location, int number);
CYqError ErrorMM(const FXCodeLocation& location, int number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
CYqError& PushMM(CYqError& error, const FXCodeLocation& location, int number);
CYqError& PushMM(CYqError& error, const FXCodeLocation& location, int number, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
bool IsMM(const CYqError& error, int number);
bool IsNotMM(const CYqError& error, int number);
// 0 for success, the MM number when one is found, else 65535.
int GetMM(const CYqError& error);

CYqError ErrorVS(const FXCodeLocation& location, int number);
CYqError ErrorVS(const FXCodeLocation& location, int number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
CYqError& PushVS(CYqError& error, const FXCodeLocation& location, int number);
CYqError& PushVS(CYqError& error, const FXCodeLocation& location, int number, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
bool IsVS(const CYqError& error, int number);
bool IsNotVS(const CYqError& error, int number);
int GetVS(const CYqError& error);

}  // namespace FXErrorUtil
