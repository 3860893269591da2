// Argument vectors come from anyone who can start a program. The input is
// a settings byte, then fields separated by NUL bytes: the short options,
// the long-option table, and the words of argv.
// - table: entries separated by ','; each is a has_arg byte (mod 5, so
//   'A' to 'E' give 0 to 4), a code byte (0x80 and above: a code above 255; 'F': with a flag), the
//   name, and optionally '|' and allowed words separated by '|';
// - settings: bit 0 long-only, bit 1 opterr, bit 2 NextArg calls between
//   options.
// Whatever the input: the parse ends within a bound of calls, optind
// stays inside the vector, optarg points into one of the words, the
// vector ends as a permutation of itself, and CCmdLineParser copes with
// the same vector.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "zn/cmdline/CCmdLineParser.h"
#include "zn/cmdline/CGetOpt.h"

namespace {

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

struct Table {
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> words;
  std::vector<std::vector<const char*>> wordPointers;
  std::vector<Option> entries;
  int flag = 0;

  explicit Table(std::string_view text) {
    if (text.empty()) return;
    std::vector<std::string> items;
    for (const std::string& item : Split(text, ',')) {
      if (item.size() >= 2) items.push_back(item);
    }
    // Every text is in place before the entries point at them.
    for (const std::string& item : items) {
      std::vector<std::string> parts = Split(std::string_view(item).substr(2), '|');
      names.push_back(parts.front());
      words.emplace_back(parts.begin() + 1, parts.end());
    }
    for (const std::vector<std::string>& list : words) {
      std::vector<const char*> pointers;
      for (const std::string& word : list) pointers.push_back(word.c_str());
      pointers.push_back(nullptr);
      wordPointers.push_back(std::move(pointers));
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      const auto hasArg = static_cast<unsigned char>(items[i][0]) % 5;
      const auto code = static_cast<unsigned char>(items[i][1]);
      const int val = code >= 0x80 ? 256 + code : code;
      entries.push_back({names[i].c_str(), static_cast<int>(hasArg), code == 'F' ? &flag : nullptr, val,
                         words[i].empty() ? nullptr : wordPointers[i].data(), nullptr});
    }
    entries.push_back({nullptr, 0, nullptr, 0, nullptr, nullptr});
  }
};

bool PointsIntoAWord(const char* p, const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    if (p >= text.data() && p <= text.data() + text.size()) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned settings = data[0];
  const std::vector<std::string> fields =
      Split(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), '\0');
  const std::string& shortopts = fields[0];
  const Table table(fields.size() > 1 ? std::string_view(fields[1]) : std::string_view());

  std::vector<std::string> texts{"prog"};
  for (std::size_t i = 2; i < fields.size(); ++i) texts.push_back(fields[i]);
  std::vector<char*> argv;
  std::size_t totalLength = 0;
  for (std::string& text : texts) {
    argv.push_back(text.data());
    totalLength += text.size();
  }
  argv.push_back(nullptr);
  const std::vector<char*> original = argv;
  const int argc = static_cast<int>(texts.size());

  CGetOpt parser(argc, argv.data(), shortopts.c_str(), table.entries.empty() ? nullptr : table.entries.data(),
                 nullptr, settings & 1);
  parser.opterr = (settings & 2) != 0;
  // Every call takes a character or a word, or ends a list once.
  const std::size_t bound = 3 * (totalLength + texts.size()) + 8;
  std::size_t calls = 0;
  while (true) {
    const int code = parser();
    if (++calls > bound) std::abort();
    if (parser.optind < 1 || parser.optind > argc) std::abort();
    if (parser.optarg != nullptr && !PointsIntoAWord(parser.optarg, texts)) std::abort();
    if (code == -1) break;
    if (settings & 4) {
      int number = 0;
      double real = 0;
      std::string word;
      parser.NextArg(number);
      parser.NextArg(real);
      parser.NextArg(word);
      (void)parser.FirstChar();
    }
  }
  std::vector<char*> now(argv.begin(), argv.end() - 1);
  std::vector<char*> before(original.begin(), original.end() - 1);
  std::sort(now.begin(), now.end());
  std::sort(before.begin(), before.end());
  if (now != before || argv.back() != nullptr) std::abort();

  CCmdLineParser named;
  named.ParseCmdLine(argc, argv.data());
  for (const std::string& name : named.getParamList()) {
    std::string value;
    if (!named.getParamValue(name, value) || !named.getParamValueIgnoreCase(name, value)) std::abort();
  }
  return 0;
}
