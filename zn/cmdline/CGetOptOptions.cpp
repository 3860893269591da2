// CGetOpt::operator(): decoding one long option, or one character of a
// cluster of short options, with their diagnostics.
#include <cstring>
#include <string_view>

#include "zn/cmdline/CGetOpt.h"
#include "zn/cmdline/internal/GetOptText.h"

namespace {

std::string OctalCode(unsigned char c) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + (c & 7)));
    c >>= 3;
  } while (c != 0);
  return digits;
}

}  // namespace

std::optional<int> CGetOpt::LongOption(char* argument) {
  char* const name = m_nextChar;
  char* nameEnd = name;
  while (*nameEnd != '\0' && *nameEnd != '=') ++nameEnd;
  const std::size_t nameLength = static_cast<std::size_t>(nameEnd - name);
  const bool singleDash = argument[1] != '-';

  // An exact name wins wherever it stands; otherwise a single entry that
  // begins with the name.
  const Option* found = nullptr;
  int foundIndex = -1;
  bool ambiguous = false;
  int index = 0;
  for (const Option* entry = m_longOpts; entry->name != nullptr; ++entry, ++index) {
    if (nameLength != 0 && entry->name[0] != name[0]) continue;
    if (std::strncmp(entry->name, name, nameLength) != 0) continue;
    if (entry->name[nameLength] == '\0') {
      found = entry;
      foundIndex = index;
      ambiguous = false;
      break;
    }
    if (found == nullptr) {
      found = entry;
      foundIndex = index;
    } else {
      ambiguous = true;
    }
  }

  if (ambiguous) {
    if (m_currentList != nullptr) return TakeListValue(argument);
    if (opterr) Diagnose(std::string(ProgramName()) + ": option '" + argument + "' is ambiguous\n");
    m_nextChar = nullptr;
    ++optind;
    return '?';
  }

  if (found == nullptr) {
    if (m_longOnly && singleDash && IsShortOption(static_cast<unsigned char>(argument[1]))) return std::nullopt;
    if (m_currentList != nullptr) return TakeListValue(argument);
    if (opterr) {
      std::string line = std::string(ProgramName()) + ": unrecognized option '";
      line += singleDash ? std::string_view(argument, 1) : std::string_view("--");
      zn::detail::AppendExpanded(line, std::string_view(name, nameLength));
      line += "'\n";
      Diagnose(line);
    }
    m_nextChar = nullptr;
    ++optind;
    return '?';
  }

  if (m_inList) return EndList();

  const Option& option = *found;
  // The option as the messages name it: the prefix as typed ("--", or "-"
  // when long-only) and the entry's full name.
  const auto optionName = [&] { return (singleDash ? std::string(1, argument[0]) : std::string("--")) + option.name; };
  m_nextChar = nullptr;
  ++optind;
  if (*nameEnd == '=') {
    if (option.has_arg == kNoArgument) {
      if (opterr) {
        Diagnose(std::string(ProgramName()) + ": option '" + optionName() + "' doesn't allow an argument\n");
      }
      return '?';
    }
    if (option.has_arg == kListArgument) m_currentList = &option;
    optarg = nameEnd + 1;
  } else if (option.has_arg == kRequiredArgument) {
    if (optind >= m_argc) {
      if (opterr) Diagnose(std::string(ProgramName()) + ": option '" + argument + "' requires an argument\n");
      return ColonMode() ? ':' : '?';
    }
    optarg = m_argv[optind++];
  } else if (option.has_arg == kListArgument || option.has_arg == kSingleListArgument) {
    m_inList = 1;
    m_currentList = &option;
  }

  if (option.values != nullptr && optarg != nullptr) {
    valueIndex = zn::detail::FindValueWord(option.values, optarg);
    if (valueIndex < 0) {
      if (opterr) {
        std::string line = std::string(ProgramName()) + ": value '";
        zn::detail::AppendExpanded(line, optarg);
        line += "' is invalid for option '" + optionName() + "'\n";
        Diagnose(line);
      }
      return '?';
    }
  }

  if (m_longIndex != nullptr) *m_longIndex = foundIndex;
  return CodeOf(option);
}

int CGetOpt::ShortOption(bool firstOfArgument) {
  const auto c = static_cast<unsigned char>(*m_nextChar);
  const ShortKind kind = static_cast<ShortKind>(m_shortKinds[c]);

  if (kind != kNotShort) {
    // A list still waiting for its first value ends before the option,
    // which the next call then returns.
    if (m_inList) return EndList();
    ++m_nextChar;
    const bool lastOfArgument = *m_nextChar == '\0';
    if (lastOfArgument) ++optind;
    if (kind == kPlain) return c;
    if (!lastOfArgument) {
      optarg = m_nextChar;
      ++optind;
    } else if (kind == kRequired) {
      if (optind >= m_argc) {
        if (opterr) {
          Diagnose(std::string(ProgramName()) + ": option '-" + static_cast<char>(c) + "' requires an argument\n");
        }
        m_nextChar = nullptr;
        optopt = c;
        return ColonMode() ? ':' : '?';
      }
      optarg = m_argv[optind++];
    }
    m_nextChar = nullptr;
    return c;
  }

  if (opterr) {
    if (c < 32 || c >= 127) {
      if (m_inList) return EndList();
      Diagnose(std::string(ProgramName()) + ": unrecognized option, character code 0" + OctalCode(c) + "\n");
    } else if (m_currentList != nullptr) {
      // The word itself when the character opens it, else the rest of it.
      return TakeListValue(firstOfArgument ? m_argv[optind] : m_nextChar);
    } else {
      Diagnose(std::string(ProgramName()) + ": unrecognized option '-" + static_cast<char>(c) + "'\n");
    }
  }
  ++m_nextChar;
  if (*m_nextChar == '\0') ++optind;
  optopt = c;
  return '?';
}
