// znadmin jobs: the built program reads the records a running child writes,
// tells a live job from a dead one, and reports incomplete records.

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/ConfigTestUtil.h"
#include "helpers/AdminRunner.h"
#include "zn/config/ZNPI_Jobinfo.h"

namespace {

using zn::test::Child;

using zn::test::AdminOutcome;

AdminOutcome Admin(const std::vector<std::string>& args) { return zn::test::RunAdmin(args); }

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The line of `text` that starts with `start`.
std::string LineOf(const std::string& text, const std::string& start) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    if (text.compare(at, start.size(), start) == 0) return text.substr(at, end - at);
    at = end + 1;
  }
  return "";
}

using JobAdmin = zn::test::ConfigTest;

TEST_F(JobAdmin, ListAndShowFollowARunningJobAndItsDeath) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  Child child([&]() -> std::string {
    ZNPI_Jobinfo jobs;
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string exe(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    const char* const reasons[] = {"waiting for \"media\""};
    if (jobs.addApp(5, "File System", 1700000000) == 0 || jobs.addApp(6, "Mail", 0) == 0 ||
        jobs.addJob(5, 4242, ::getpid(), exe.c_str()) == 0 ||
        jobs.setPerfctrs(5, 2, 900, 40, 10, 100, 1000, 10000, 127) == 0 || jobs.setCurrFile(5, "/data/a.txt") == 0 ||
        jobs.setNoJobReasonAddlInfo(6, 1, reasons) == 0 || jobs.setLastBackupJobStatus(6, 77, 1) == 0) {
      return jobs.getLastErrorMsg();
    }
    if (::write(ready[1], "r", 1) != 1) return "no pipe";
    ::pause();
    return "";
  });
  ::close(ready[1]);
  struct pollfd wait = {ready[0], POLLIN, 0};
  char byte;
  ASSERT_TRUE(::poll(&wait, 1, 60000) == 1 && ::read(ready[0], &byte, 1) == 1) << child.finish(std::chrono::seconds(1));
  ::close(ready[0]);

  AdminOutcome run = Admin({"jobs", "list"});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string running = LineOf(run.out, "5 ");
  const std::string pid = std::to_string(child.pid());
  for (const std::string& part : {std::string("4242"), pid, std::string("running"), std::string("10/100"),
                                  std::string("File System")}) {
    EXPECT_TRUE(Has(running, part)) << part << " in " << run.out;
  }
  EXPECT_TRUE(Has(LineOf(run.out, "6 "), "idle")) << run.out;

  run = Admin({"jobs", "show", "4242"});
  ASSERT_EQ(run.code, 0) << run.err;
  for (const char* line : {"appId: 5\n", "jobState: running\n", "perfctrPercent: 40\n", "currFile: /data/a.txt\n",
                           "perfctrBytesCountTot: 10000\n"}) {
    EXPECT_TRUE(Has(run.out, line)) << line << " in " << run.out;
  }
  run = Admin({"jobs", "show", "77", "--json"});  // by its last job
  ASSERT_EQ(run.code, 0) << run.err;
  const nlohmann::json shown = nlohmann::json::parse(run.out);
  EXPECT_EQ(shown["appId"], 6);
  EXPECT_EQ(shown["displayName"], "Mail");
  EXPECT_EQ(shown["noJobReasonAddlInfo"], nlohmann::json::array({"waiting for \"media\""}));

  child.kill();
  run = Admin({"jobs", "list", "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  const nlohmann::json listed = nlohmann::json::parse(run.out);
  ASSERT_TRUE(listed["apps"].is_array()) << run.out;
  bool dead = false;
  for (const auto& app : listed["apps"]) dead = dead || (app["appId"] == 5 && app["jobState"] == "dead");
  EXPECT_TRUE(dead) << run.out;
  EXPECT_EQ(listed["incomplete"], nlohmann::json::array());
  run = Admin({"jobs", "show", "999"});
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(Has(run.err, "unable to find appId for given job id")) << run.err;

  ZNPlatformInfo(0, 0).setString("Jobinfo\\8", "sDisplayName", "Half");  // a writer died after one value
  run = Admin({"jobs", "list"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Has(LineOf(run.out, "8 "), "broken")) << run.out;
  EXPECT_TRUE(Has(run.err, "Error getting job info for appId:8")) << run.err;
  EXPECT_TRUE(Has(LineOf(run.out, "5 "), "dead")) << run.out;
}

}  // namespace
