// Settings overridden in memory for the whole process (values the central
// server sent), in front of the configuration store. A getter returns the
// override of "<section>/<name>" when one is set, else reads the store; a
// store value is never put into the overrides. Numbers and booleans share
// one map, strings have another; one lock guards both, the store read on a
// miss included, so every object of the class sees the same overrides.
//
// Sections are std::string: "" is the instance key itself.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "zn/base/ZnCriticalSection.h"
#include "zn/base/ZnExport.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zuzazer/FXNoDestructor.h"

class ZN_EXPORT ZNRuntimePlatformInfo : public ZNPlatformInfo {
 public:
  using ZNPlatformInfo::ZNPlatformInfo;

  int getNumber(const std::string& section, const std::string& name, int& out);
  int getNumber(const std::string& section, const std::string& name, unsigned int& out);
  int getNumber(const std::string& section, const std::string& name, long& out);
  int getNumber(const std::string& section, const std::string& name, unsigned long& out);
  int getNumber(const std::string& section, const std::string& name, int* out);
  int getNumber(const std::string& section, const std::string& name, unsigned int* out);
  int getNumber(const std::string& section, const std::string& name, long* out);
  int getNumber(const std::string& section, const std::string& name, unsigned long* out);
  int getBoolean(const std::string& section, const std::string& name, bool& out);
  int getBoolean(const std::string& section, const std::string& name, bool* out);

  int getString(const std::string& section, const std::string& name, std::string& out);
  // The buffer forms fail with code -4 when the text and its terminator do
  // not fit; the size-pointer form then leaves *size unchanged, and on
  // success sets it to the text length plus 1.
  int getString(const std::string& section, const std::string& name, char* buf, int size);
  int getString(const std::string& section, const std::string& name, char* buf, int* size);
  int getString(const std::string& section, const std::string& name, std::string* out);
  int getStringTrim(const std::string& section, const std::string& name, std::string* out);
  // Splits with `separators`, or with c_defaultDelimiters when null.
  int getStringList(const std::string& section, const std::string& name, std::vector<std::string>& out,
                    std::vector<std::string>* separators = nullptr);

  static void overrideNumber(const std::string& section, const std::string& name, int value);
  static void overrideBoolean(const std::string& section, const std::string& name, bool value);
  static void overrideString(const std::string& section, const std::string& name, const std::string& value);
  static void clear();
  // Logs every override at level 0; nothing when there is none.
  static void dump();

 private:
  // Both with c_mapLock held.
  static bool findInt(const std::string& section, const std::string& name, int& value);
  template <typename Number>
  int getOverriddenNumber(const std::string& section, const std::string& name, Number& out);
  static bool findString(const std::string& section, const std::string& name, std::string& value);

  // Never destroyed: threads still running at exit may use them.
  static yq::NoDestructor<std::unordered_map<std::string, int>> c_intMap;
  static yq::NoDestructor<std::unordered_map<std::string, std::string>> c_stringMap;
  static yq::NoDestructor<ZnCriticalSection> c_mapLock;
  static yq::NoDestructor<std::vector<std::string>> c_defaultDelimiters;  // never changed
};
