// The log writer on a full disk: a line cut short where the space ran out
// never has a later line glued onto it.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "helpers/TempDir.h"
#include "helpers/TmpfsMount.h"
#include "zuzazer/CYqLogger.h"

namespace {

std::string Message(int number, std::size_t padding = 200) {
  return "N" + std::to_string(number) + " " + std::string(padding, '=') + " end";
}

long long SizeOf(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<long long>(size);
}

// Fills the disk with a file of its own; removing it gives the space back.
void FillUp(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  const std::string block(4096, 'f');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  const std::string byte(1, 'f');
  while (::write(fd, byte.data(), 1) > 0) {
  }
  ::close(fd);
}

TEST(LogDiskFull, ALineCutShortByAFullDiskNeverHasTheNextGluedOn) {
  zn::test::TmpfsMount disk(256 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  for (const bool keepOpen : {true, false}) {
    SCOPED_TRACE(keepOpen ? "kept open" : "opened per line");
    const std::string folder = disk.file(keepOpen ? "kept" : "perline");
    std::filesystem::create_directories(folder);
    {
      CYqLogger writer;
      ASSERT_TRUE(writer.Initialize("full", folder, 100, false, true).IsSuccess());
      writer.SetKeepLogFileOpen(keepOpen);
      writer.LogMessage(0, 0, "F", 0, 0, nullptr, "%s", Message(0).c_str());
      const long long first = SizeOf(folder + "/full.log");
      ASSERT_GT(first, 0);
      FillUp(disk.file("filler"));
      // tmpfs gives out whole pages: what is left is the rest of the file's
      // page. The next line is 100 bytes longer than that, so the space runs
      // out in the middle of it; the lines after it fail whole.
      const long long room = 4096 - first % 4096;
      const long long prefix = first - static_cast<long long>(Message(0).size()) - 1;
      const std::size_t padding = static_cast<std::size_t>(room + 100 - prefix - 1) - Message(1, 0).size();
      writer.LogMessage(0, 0, "F", 0, 0, nullptr, "%s", Message(1, padding).c_str());
      ASSERT_EQ(SizeOf(folder + "/full.log"), first + room) << "the line was not cut where the space ran out";
      for (int n = 2; n < 10; ++n) writer.LogMessage(0, 0, "F", 0, 0, nullptr, "%s", Message(n).c_str());
      std::filesystem::remove(disk.file("filler"));
      for (int n = 1000; n < 1010; ++n) writer.LogMessage(0, 0, "F", 0, 0, nullptr, "%s", Message(n).c_str());
    }
    zn::test::RemoveLogSharedState(folder);

    std::istringstream text(zn::test::ReadFile(folder + "/full.log"));
    std::set<int> whole;
    int torn = 0;
    for (std::string line; std::getline(text, line);) {
      int number = -1, used = 0;
      const auto at = line.find(" F N");
      std::string rest;
      if (at != std::string::npos && std::sscanf(line.c_str() + at, " F N%d %n", &number, &used) == 1) {
        rest = line.substr(at + static_cast<std::size_t>(used));
      }
      const bool complete = rest.size() > 4 && rest.ends_with(" end") &&
                            rest.find_first_not_of('=') == rest.size() - 4;
      if (complete) {
        whole.insert(number);
      } else {
        ++torn;
        EXPECT_EQ(line.find(" F N", at == std::string::npos ? 0 : at + 1), std::string::npos)
            << "a line glued onto a torn one: [" << line.substr(0, 60) << "..." << line.substr(line.size() - 60) << "]";
      }
    }
    EXPECT_EQ(torn, 1) << "the disk ran out inside a line exactly once";
    for (int n = 1000; n < 1010; ++n) EXPECT_EQ(whole.count(n), 1u) << "line " << n << " is not whole";
    EXPECT_EQ(whole.count(0), 1u);
    std::filesystem::remove_all(folder);
  }
}

}  // namespace
