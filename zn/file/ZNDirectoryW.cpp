// The wide twin of ZNDirectory: names cross as UTF-32, the work is the
// narrow listing's.

#include "zn/file/ZNDirectory.h"
#include "zuzazer/FXString.h"

namespace {

std::string Narrow(const wchar_t* text) { return FXString::ToString(text); }

}  // namespace

ZNDirectoryW::ZNDirectoryW() { setDebugPrefix("DIRECTORY"); }

ZNDirectory& ZNDirectoryW::narrow() {
  // Prefix and output settings as set on this object.
  static_cast<ZNTDebuggable&>(m_narrow) = *this;
  return m_narrow;
}

int ZNDirectoryW::open(const wchar_t* name) { return narrow().open(name != nullptr ? Narrow(name).c_str() : nullptr); }

const wchar_t* ZNDirectoryW::read() {
  const char* name = narrow().read();
  if (name == nullptr) return nullptr;
  m_current = FXString::ToWstring(name);
  return m_current.c_str();
}

int ZNDirectoryW::close() { return m_narrow.close(); }

int ZNDirectoryW::findFileByPattern(const wchar_t* pattern, std::wstring& found, int reserved) {
  std::string name;
  const int result = narrow().findFileByPattern(pattern != nullptr ? Narrow(pattern).c_str() : nullptr, name, reserved);
  if (result == 0) found = FXString::ToWstring(name);
  return result;
}

int ZNDirectoryW::removeFiles(const wchar_t* except) {
  if (except == nullptr) return narrow().removeFiles(nullptr);
  return narrow().removeFiles(Narrow(except).c_str());
}

int ZNDirectoryW::copyFiles(const wchar_t* from, const wchar_t* to) {
  const std::string source = from != nullptr ? Narrow(from) : std::string();
  const std::string target = to != nullptr ? Narrow(to) : std::string();
  return narrow().copyFiles(from != nullptr ? source.c_str() : nullptr, to != nullptr ? target.c_str() : nullptr);
}

long long ZNDirectoryW::sumSizes() { return narrow().sumSizes(); }

int ZNDirectoryW::getFreeSpace(const wchar_t* path, unsigned long long* available, unsigned long long* total,
                               unsigned long* reserved) {
  const std::string narrowPath = path != nullptr ? Narrow(path) : std::string();
  return narrow().getFreeSpace(path != nullptr ? narrowPath.c_str() : nullptr, available, total, reserved);
}
