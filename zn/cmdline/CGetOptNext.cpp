// CGetOpt::operator(): list continuation, moving to the next argument
// (with permutation), and the ends of lists.
#include <cstring>

#include "zn/cmdline/CGetOpt.h"
#include "zn/cmdline/internal/ArgvPermutation.h"
#include "zn/cmdline/internal/GetOptText.h"

namespace {

// "-" alone and words not beginning with '-' are not options.
bool IsNonOption(const char* argument) { return argument[0] != '-' || argument[1] == '\0'; }

}  // namespace

int CGetOpt::operator()() {
  optopt = 0;
  // Both describe the result of this call only.
  optarg = nullptr;
  valueIndex = -1;

  const bool pending = m_nextChar != nullptr && *m_nextChar != '\0';
  if (pending) return ShortOption(false);

  if (m_currentList != nullptr) {
    if (const std::optional<int> code = ContinueList()) return *code;
  }
  if (const std::optional<int> code = Advance()) return *code;

  // optind is on an option: "-x...", "--name..." (never "-" or "--").
  char* const argument = m_argv[optind];
  m_nextChar = argument + 1;
  if (m_longOpts != nullptr) {
    if (argument[1] == '-') {
      m_nextChar = argument + 2;
      return *LongOption(argument);
    }
    if (m_longOnly && (argument[2] != '\0' || !IsShortOption(static_cast<unsigned char>(argument[1])))) {
      if (const std::optional<int> code = LongOption(argument)) return *code;
      // Not a long option, but it starts with a short one.
    }
  }
  return ShortOption(true);
}

std::optional<int> CGetOpt::ContinueList() {
  if (optind >= m_argc) {
    if (m_inList) return EndList();
    // The end as without a list: non-options skipped before the list must
    // still be moved into place and pointed at.
    return std::nullopt;
  }
  char* const argument = m_argv[optind];
  const Option& list = *m_currentList;
  if (list.values != nullptr) {
    const int index = zn::detail::FindValueWord(list.values, argument);
    if (index >= 0) {
      const int code = TakeListValue(argument);
      valueIndex = index;
      return code;
    }
    if (m_inList) return EndList();
    m_currentList = nullptr;
    return std::nullopt;
  }
  if (argument[0] != '-') return TakeListValue(argument);
  return std::nullopt;
}

void CGetOpt::SanitizeIndexes() {
  // A caller may have moved optind; keep every bound inside the vector.
  if (optind < 1) optind = 1;
  if (m_argc > 0 && optind > m_argc) optind = m_argc;
  if (m_lastNonOpt > optind) m_lastNonOpt = optind;
  if (m_firstNonOpt > optind) m_firstNonOpt = optind;
  if (m_firstNonOpt < 1) m_firstNonOpt = 1;
  if (m_lastNonOpt < m_firstNonOpt) m_lastNonOpt = m_firstNonOpt;
}

void CGetOpt::Exchange() {
  zn::detail::ExchangeArgumentBlocks(m_argv, m_firstNonOpt, m_lastNonOpt, optind);
  m_firstNonOpt += optind - m_lastNonOpt;
  m_lastNonOpt = optind;
}

std::optional<int> CGetOpt::Advance() {
  SanitizeIndexes();
  if (m_ordering == kPermute) {
    if (m_firstNonOpt != m_lastNonOpt && m_lastNonOpt != optind) {
      Exchange();
    } else if (m_lastNonOpt != optind) {
      m_firstNonOpt = optind;
    }
    while (optind < m_argc && IsNonOption(m_argv[optind])) ++optind;
    m_lastNonOpt = optind;
  }

  if (optind < m_argc && std::strcmp(m_argv[optind], "--") == 0) {
    ++optind;
    if (m_firstNonOpt != m_lastNonOpt && m_lastNonOpt != optind) {
      Exchange();
    } else if (m_firstNonOpt == m_lastNonOpt) {
      m_firstNonOpt = optind;
    }
    m_lastNonOpt = m_argc;
    optind = m_argc;
  }

  if (optind >= m_argc) {
    if (m_inList) return EndList();
    m_currentList = nullptr;
    if (m_firstNonOpt != m_lastNonOpt) optind = m_firstNonOpt;
    return -1;
  }

  if (IsNonOption(m_argv[optind])) {
    if (m_inList) return EndList();
    if (m_ordering == kStopAtFirst) return -1;
    optarg = m_argv[optind++];
    optopt = -1;
    return 0;
  }
  return std::nullopt;
}

int CGetOpt::TakeListValue(char* text) {
  const Option& list = *m_currentList;
  m_inList = 0;
  optarg = text;
  ++optind;
  m_nextChar = nullptr;
  if (list.has_arg == kSingleListArgument) m_currentList = nullptr;
  return CodeOf(list);
}

int CGetOpt::EndList() {
  const Option& list = *m_currentList;
  ForgetList();
  valueIndex = -1;
  optarg = nullptr;
  m_nextChar = nullptr;
  return CodeOf(list);
}
