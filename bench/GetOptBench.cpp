// CGetOpt against glibc's getopt_long on the same 10,000-word vectors,
// parsed to the end with permutation, diagnostics off. Each iteration
// starts from a fresh copy of the vector (copied the same way for both).
// - Mixed: short options, clusters, long options with and without values,
//   abbreviations, and non-options between them;
// - Alternating: a non-option before every option, so every option moves
//   the growing block of non-options (the costly case of permutation);
// - OptionsOnly: nothing to permute.

#include <benchmark/benchmark.h>
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "zn/cmdline/CGetOpt.h"

namespace {

constexpr int kWords = 10000;
constexpr const char* kShortOptions = "ab:c::vx";

const ::option kGlibcTable[] = {
    {"alpha", 0, nullptr, 256}, {"beta", 1, nullptr, 257},   {"gamma", 2, nullptr, 258},
    {"delta", 1, nullptr, 259}, {"epsilon", 0, nullptr, 260}, {"verbose", 0, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};
const Option kOurTable[] = {
    {"alpha", 0, nullptr, 256, nullptr, nullptr},   {"beta", 1, nullptr, 257, nullptr, nullptr},
    {"gamma", 2, nullptr, 258, nullptr, nullptr},   {"delta", 1, nullptr, 259, nullptr, nullptr},
    {"epsilon", 0, nullptr, 260, nullptr, nullptr}, {"verbose", 0, nullptr, 'v', nullptr, nullptr},
    {nullptr, 0, nullptr, 0, nullptr, nullptr},
};

class Vector {
 public:
  explicit Vector(std::vector<std::string> words) : m_texts(std::move(words)) {
    m_texts.insert(m_texts.begin(), "prog");
    for (std::string& text : m_texts) m_original.push_back(text.data());
    m_original.push_back(nullptr);
    m_work = m_original;
  }
  int argc() const { return static_cast<int>(m_original.size()) - 1; }
  char** Fresh() {
    std::copy(m_original.begin(), m_original.end(), m_work.begin());
    return m_work.data();
  }

 private:
  std::vector<std::string> m_texts;
  std::vector<char*> m_original;
  std::vector<char*> m_work;
};

std::vector<std::string> MixedWords() {
  static const char* const pattern[] = {"file", "-a",      "-bvalue", "--alpha", "--beta=x", "--gam", "-c",
                                        "word", "--delta", "val",     "-vx",     "--epsilon", "-b",   "arg",
                                        "name", "-cxyz",   "--verb",  "--gamma=z"};
  std::vector<std::string> words;
  for (int i = 0; words.size() < kWords; ++i) {
    std::string word = pattern[i % (sizeof(pattern) / sizeof(pattern[0]))];
    if (word == "file" || word == "word" || word == "name") word += std::to_string(i);
    words.push_back(word);
  }
  return words;
}

std::vector<std::string> AlternatingWords() {
  std::vector<std::string> words;
  for (int i = 0; words.size() < kWords; ++i) {
    words.push_back("f" + std::to_string(i));
    words.push_back(i % 2 == 0 ? "-a" : "--alpha");
  }
  return words;
}

std::vector<std::string> OptionsOnlyWords() {
  static const char* const pattern[] = {"-a", "-bv", "--alpha", "--beta=x", "-vx", "--epsilon", "--delta", "d"};
  std::vector<std::string> words;
  for (int i = 0; words.size() < kWords; ++i) words.push_back(pattern[i % 8]);
  return words;
}

long ParseWithGlibc(int argc, char** argv) {
  optind = 0;
  opterr = 0;
  long sum = 0;
  int index = 0;
  for (int c; (c = getopt_long(argc, argv, kShortOptions, kGlibcTable, &index)) != -1;) sum += c;
  return sum + optind;
}

long ParseWithOurs(int argc, char** argv) {
  int index = 0;
  CGetOpt parser(argc, argv, kShortOptions, kOurTable, &index);
  parser.opterr = 0;
  long sum = 0;
  for (int c; (c = parser()) != -1;) sum += c;
  return sum + parser.optind;
}

template <long (*Parse)(int, char**)>
void Run(benchmark::State& state, std::vector<std::string> (*words)()) {
  Vector vector(words());
  for (auto _ : state) benchmark::DoNotOptimize(Parse(vector.argc(), vector.Fresh()));
  state.counters["words"] = benchmark::Counter(static_cast<double>(state.iterations()) * kWords,
                                               benchmark::Counter::kIsRate);
}

void BM_Mixed_CGetOpt(benchmark::State& state) { Run<ParseWithOurs>(state, MixedWords); }
void BM_Mixed_glibc(benchmark::State& state) { Run<ParseWithGlibc>(state, MixedWords); }
void BM_Alternating_CGetOpt(benchmark::State& state) { Run<ParseWithOurs>(state, AlternatingWords); }
void BM_Alternating_glibc(benchmark::State& state) { Run<ParseWithGlibc>(state, AlternatingWords); }
void BM_OptionsOnly_CGetOpt(benchmark::State& state) { Run<ParseWithOurs>(state, OptionsOnlyWords); }
void BM_OptionsOnly_glibc(benchmark::State& state) { Run<ParseWithGlibc>(state, OptionsOnlyWords); }

BENCHMARK(BM_Mixed_CGetOpt);
BENCHMARK(BM_Mixed_glibc);
BENCHMARK(BM_Alternating_CGetOpt);
BENCHMARK(BM_Alternating_glibc);
BENCHMARK(BM_OptionsOnly_CGetOpt);
BENCHMARK(BM_OptionsOnly_glibc);

// Both parsers must give the same results and order before being timed.
bool SameResults() {
  for (auto words : {MixedWords, AlternatingWords, OptionsOnlyWords}) {
    Vector ours(words());
    Vector theirs(words());
    char** a = ours.Fresh();
    char** b = theirs.Fresh();
    if (ParseWithOurs(ours.argc(), a) != ParseWithGlibc(theirs.argc(), b)) return false;
    for (int i = 0; i < ours.argc(); ++i) {
      if (std::string(a[i]) != b[i]) return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!SameResults()) {
    std::fprintf(stderr, "CGetOpt and getopt_long disagree on the benchmark vectors\n");
    return 1;
  }
  return zn::bench::RunWithRatios(argc, argv,
                                  {
                                      {"words/s, mixed", "BM_Mixed_CGetOpt", "BM_Mixed_glibc", "words"},
                                      {"words/s, alternating", "BM_Alternating_CGetOpt", "BM_Alternating_glibc",
                                       "words"},
                                      {"words/s, options only", "BM_OptionsOnly_CGetOpt", "BM_OptionsOnly_glibc",
                                       "words"},
                                  });
}
