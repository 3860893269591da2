// znadmin shm: the machine's named objects as an administrator sees them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include <nlohmann/json.hpp>

#include "helpers/AdminRunner.h"
#include "sync/SyncTestUtil.h"
#include "zn/ipc/SharedProcessBuffer.h"
#include "zn/ipc/ZNSemaphorUtil.h"

namespace {

using namespace zn::test;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ZnAdminShm, ListAndShowGiveKindSizeUsersAndState) {
  const std::string name = UniqueName("admin");
  SharedProcessBufferWithSignal buffer(name.c_str(), 3000, true);
  ASSERT_NE(buffer.GetBuffer(), nullptr);
  SyncBufferAccess access(buffer, true);
  void* semaphore = nullptr;
  bool existed = false;
  unsigned long error = 0;
  ASSERT_TRUE(ZNSemaphorUtil::createSemaphor(semaphore, (name + ".sem").c_str(), existed, error, 4));
  ASSERT_TRUE(ZNSemaphorUtil::releaseResource(semaphore, error));

  const auto listed = RunAdmin({"shm", "list"});
  ASSERT_EQ(listed.code, 0) << listed.err;
  EXPECT_TRUE(Has(listed.out, "KIND")) << listed.out;
  EXPECT_TRUE(Has(listed.out, "mapping           3000      1  " + name + ": 3000 bytes\n")) << listed.out;
  EXPECT_TRUE(Has(listed.out, "event    ")) << listed.out;
  EXPECT_TRUE(Has(listed.out, name + ".qvevent: not signalled, automatic reset, waiters 0\n"));
  EXPECT_TRUE(Has(listed.out, name + ".qvlock: held by thread "));
  EXPECT_TRUE(Has(listed.out, name + ".sem: count 1 of 4, waiters 0\n"));

  const auto shown = RunAdmin({"shm", "show", name});
  ASSERT_EQ(shown.code, 0) << shown.err;
  EXPECT_EQ(shown.out, "name: " + name + "\nsegment: /dev/shm/zn." + name + "\nkind: mapping\nsize: 3000 bytes\n" +
                           "users: 1 (pid " + std::to_string(::getpid()) + ")\nstate: 3000 bytes\n");
  const auto lock = RunAdmin({"shm", "show", name + ".qvlock"});
  EXPECT_TRUE(Has(lock.out, "kind: mutex\n")) << lock.out;
  EXPECT_TRUE(Has(lock.out, "state: held by thread ")) << lock.out;

  const auto absent = RunAdmin({"shm", "show", name + ".none"});
  EXPECT_EQ(absent.code, 3);  // not found
  EXPECT_EQ(absent.err, "znadmin shm show: no named object [" + name + ".none] on this machine\n");
  const auto json = RunAdmin({"shm", "show", "--json", name});
  ASSERT_EQ(json.code, 0) << json.err;
  const nlohmann::json object = nlohmann::json::parse(json.out);
  EXPECT_EQ(object["kind"], "mapping");
  EXPECT_EQ(object["size"], 3000);
  EXPECT_EQ(object["users"], nlohmann::json::array({::getpid()}));
  EXPECT_EQ(RunAdmin({"shm"}).code, 2);
  EXPECT_EQ(RunAdmin({"shm", "show"}).code, 2);
  ZNSemaphorUtil::destroySemaphor(semaphore);

  // A name made to drive the terminal reaches it escaped.
  const std::string odd = name + ".\x1b]0;owned\x07";
  ASSERT_TRUE(ZNSemaphorUtil::createSemaphor(semaphore, odd.c_str(), existed, error, 1));
  const auto escaped = RunAdmin({"shm", "list"});
  EXPECT_EQ(escaped.out.find('\x1b'), std::string::npos);
  EXPECT_TRUE(Has(escaped.out, name + ".\\x1b]0;owned\\x07: count 0 of 1")) << escaped.out;
  const auto shownOdd = RunAdmin({"shm", "show", odd});
  EXPECT_TRUE(Has(shownOdd.out, "name: " + name + ".\\x1b]0;owned\\x07\n")) << shownOdd.out;
  ZNSemaphorUtil::destroySemaphor(semaphore);
}

}  // namespace
