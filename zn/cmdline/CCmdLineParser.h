// Turns an argument vector into named parameters: switches introduced by
// '-' or '/', each with at most one value, and positional parameters named
// "position_<index>". Failures are reported through the result and the
// error string; nothing here throws or prints.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "zn/base/ZnExport.h"

class ZN_EXPORT CCmdLineParser {
 public:
  CCmdLineParser() = default;
  CCmdLineParser(const CCmdLineParser& other) = default;
  CCmdLineParser& operator=(const CCmdLineParser& other) = default;
  ~CCmdLineParser() = default;

  // argv[0] is skipped. A value that begins with '/' is kept both as the
  // switch's value and as a switch of its own ("-out /tmp/x" gives out with
  // /tmp/x and tmp/x with an empty value). Fails on a null vector or entry
  // ("NULL argument supplied") and on a name seen twice ("Parameter <name>
  // already present"); what was parsed before the failure stays. A second
  // call adds to the parameters of the first.
  bool ParseCmdLine(int argc, const char* const* argv);

  // Exact, case-sensitive lookups.
  bool DoesParamExists(const std::string& name) const;
  bool getParamValue(const std::string& name, std::string& value) const;
  // ASCII case-insensitive lookups; the first match in name order wins.
  bool DoesParamExistsIgnoreCase(const std::string& name) const;
  bool getParamValueIgnoreCase(const std::string& name, std::string& value) const;

  int getParamCount() const;
  // Every name in byte order. Clears the error string.
  std::vector<std::string> getParamList();
  std::string GetErrorString() const;

 private:
  using ParamMap = std::map<std::string, std::string>;

  ParamMap::const_iterator FindIgnoreCase(const std::string& name) const;
  bool Insert(std::string name, std::string value);

  ParamMap m_params;  // ordered by plain byte comparison of the names
  std::string m_error;
};
