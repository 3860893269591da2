// Setting up a CGetOpt, and the calls around the iteration: taking words
// as values and the invalid-argument diagnostic.
#include "zn/cmdline/CGetOpt.h"

#include <cstdlib>
#include <string_view>

#include "zn/cmdline/internal/ArgumentScan.h"
#include "zn/cmdline/internal/GetOptText.h"

namespace {

// The usable length of the vector: a null entry ends it.
int CountArguments(int argc, char** argv) {
  if (argv == nullptr || argc <= 0) return 0;
  int count = 0;
  while (count < argc && argv[count] != nullptr) ++count;
  return count;
}

}  // namespace

CGetOpt::CGetOpt(int argc, char** argv, const char* shortopts) : CGetOpt(argc, argv, shortopts, nullptr) {}

CGetOpt::CGetOpt(int argc, char** argv, const char* shortopts, const Option* longopts, int* longind,
                 int longOnly)
    : m_argc(CountArguments(argc, argv)),
      m_argv(argv),
      m_shortOpts(shortopts != nullptr ? shortopts : ""),
      m_longOpts(longopts),
      m_longIndex(longind),
      m_longOnly(longOnly) {
  const std::string_view own(m_shortOpts);
  if (!own.empty() && own.front() == '-') {
    m_ordering = kReturnInOrder;
  } else if ((!own.empty() && own.front() == '+') || std::getenv("_POSIX_OPTION_ORDER") != nullptr) {
    m_ordering = kStopAtFirst;
  } else {
    m_ordering = kPermute;
  }

  for (const Option* entry = m_longOpts; entry != nullptr && entry->name != nullptr; ++entry) {
    // Codes above 255 (the usual long-only codes) are no characters.
    if (entry->val <= 0 || entry->val > 255 || entry->val == ':') continue;
    m_shortOpts += static_cast<char>(entry->val);
    if (entry->has_arg != kNoArgument) m_shortOpts += ':';
    if (entry->has_arg == kOptionalArgument) m_shortOpts += ':';
  }

  for (std::size_t i = 0; i < m_shortOpts.size(); ++i) {
    const auto c = static_cast<unsigned char>(m_shortOpts[i]);
    if (c == ':' || m_shortKinds[c] != kNotShort) continue;
    ShortKind kind = kPlain;
    if (i + 1 < m_shortOpts.size() && m_shortOpts[i + 1] == ':') {
      kind = (i + 2 < m_shortOpts.size() && m_shortOpts[i + 2] == ':') ? kOptional : kRequired;
    }
    m_shortKinds[c] = kind;
  }
}

const char* CGetOpt::ProgramName() const { return m_argc > 0 ? m_argv[0] : ""; }

void CGetOpt::Diagnose(const std::string& line) const {
  if (opterr) zn::detail::WriteDiagnosticLine(line);
}

int CGetOpt::CodeOf(const Option& option) const {
  if (option.flag != nullptr) {
    *option.flag = option.val;
    return 0;
  }
  return option.val;
}

void CGetOpt::ForgetList() {
  m_currentList = nullptr;
  m_inList = 0;
}

int CGetOpt::NextArg(int& value) {
  ForgetList();
  if (optind < 0 || optind >= m_argc) return 0;
  if (!zn::detail::ScanInt(m_argv[optind], value)) return 0;
  ++optind;
  m_nextChar = nullptr;
  return 1;
}

int CGetOpt::NextArg(double& value) {
  ForgetList();
  if (optind < 0 || optind >= m_argc) return 0;
  if (!zn::detail::ScanDouble(m_argv[optind], value)) return 0;
  ++optind;
  m_nextChar = nullptr;
  return 1;
}

int CGetOpt::NextArg(std::string& value) {
  ForgetList();
  if (optind < 0 || optind >= m_argc) return 0;
  if (m_argv[optind][0] == '-') return 0;
  value = m_argv[optind];
  ++optind;
  m_nextChar = nullptr;
  return 1;
}

int CGetOpt::FirstChar() const {
  if (optind < 0 || optind >= m_argc) return 0;
  return static_cast<unsigned char>(m_argv[optind][0]);
}

void CGetOpt::PrintInvalid() const {
  std::string line = ProgramName();
  line += ": invalid argument '";
  zn::detail::AppendExpanded(line, optarg != nullptr ? optarg : "");
  line += "'\n";
  zn::detail::WriteDiagnosticLine(line);
}
