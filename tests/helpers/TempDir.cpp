#include "helpers/TempDir.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "zn/store/StoreTesting.h"
#include "zuzazer/LogControlBlock.h"

namespace zn::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  m_path = ScratchRoot() + "/d" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
  fs::create_directories(m_path);
}

TempDir::~TempDir() {
  RemoveLogSharedState(m_path);
  RemoveStoreSharedState(m_path);
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

std::string TempDir::file(const std::string& name) const { return m_path + "/" + name; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void RemoveLogSharedState(const std::string& folder) {
  std::error_code error;
  const fs::path root = fs::weakly_canonical(folder, error);
  if (error || !fs::exists(root)) return;
  for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    const auto dot = name.find(".log");
    if (dot == std::string::npos) continue;
    // The current file of a log and each of its versions name the same base.
    std::string base = name.substr(0, dot);
    const auto underscore = base.rfind('_');
    for (const std::string& candidate : {base, underscore == std::string::npos ? base : base.substr(0, underscore)}) {
      const std::string current = (it->path().parent_path() / (candidate + ".log")).string();
      ::shm_unlink(yq::LogControlBlock::SharedMemoryName(current).c_str());
    }
  }
}

}  // namespace zn::test

namespace zn::test {

void RemoveStoreSharedState(const std::string& folder) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const std::string name = zn::testing::StoreCounterName(it->path().string());
    if (!name.empty()) ::shm_unlink(name.c_str());
  }
}

}  // namespace zn::test
