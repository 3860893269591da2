#include "zn/cmdline/CCmdLineParser.h"

#include <string_view>
#include <utility>

#include "zuzazer/FXString.h"

namespace {

constexpr char kNullArgument[] = "NULL argument supplied";

bool IsSwitch(std::string_view argument) {
  return !argument.empty() && (argument.front() == '-' || argument.front() == '/');
}

}  // namespace

bool CCmdLineParser::ParseCmdLine(int argc, const char* const* argv) {
  if (argv == nullptr) {
    m_error = kNullArgument;
    return false;
  }
  int i = 1;
  while (i < argc) {
    if (argv[i] == nullptr) {
      m_error = kNullArgument;
      return false;
    }
    const std::string_view argument(argv[i]);
    std::string name;
    std::string value;
    if (!IsSwitch(argument)) {
      name = "position_" + std::to_string(i);
      value = argument;
      ++i;
    } else {
      name = argument.substr(1);
      ++i;
      // A null entry ahead is no value; the next pass reports it.
      if (i < argc && argv[i] != nullptr) {
        const std::string_view next(argv[i]);
        if (!IsSwitch(next)) {
          value = next;
          ++i;
        } else if (next.front() == '/') {
          // Looks like a path: the value, and also a switch of its own.
          value = next;
        }
      }
    }
    if (!Insert(std::move(name), std::move(value))) return false;
  }
  m_error.clear();
  return true;
}

bool CCmdLineParser::Insert(std::string name, std::string value) {
  const auto [where, inserted] = m_params.try_emplace(std::move(name), std::move(value));
  if (!inserted) {
    m_error = "Parameter " + where->first + " already present";
    return false;
  }
  return true;
}

bool CCmdLineParser::DoesParamExists(const std::string& name) const { return m_params.count(name) != 0; }

bool CCmdLineParser::getParamValue(const std::string& name, std::string& value) const {
  const auto found = m_params.find(name);
  if (found == m_params.end()) return false;
  value = found->second;
  return true;
}

CCmdLineParser::ParamMap::const_iterator CCmdLineParser::FindIgnoreCase(const std::string& name) const {
  const std::string wanted = FXString::ToUpper(name);
  for (auto it = m_params.begin(); it != m_params.end(); ++it) {
    if (FXString::ToUpper(it->first) == wanted) return it;
  }
  return m_params.end();
}

bool CCmdLineParser::DoesParamExistsIgnoreCase(const std::string& name) const {
  return FindIgnoreCase(name) != m_params.end();
}

bool CCmdLineParser::getParamValueIgnoreCase(const std::string& name, std::string& value) const {
  const auto found = FindIgnoreCase(name);
  if (found == m_params.end()) return false;
  value = found->second;
  return true;
}

int CCmdLineParser::getParamCount() const { return static_cast<int>(m_params.size()); }

std::vector<std::string> CCmdLineParser::getParamList() {
  m_error.clear();
  std::vector<std::string> names;
  names.reserve(m_params.size());
  for (const auto& entry : m_params) names.push_back(entry.first);
  return names;
}

std::string CCmdLineParser::GetErrorString() const { return m_error; }
