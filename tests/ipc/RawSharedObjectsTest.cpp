// The raw calls: semaphores by handle and by name with their maximum, and
// shared memory with its views, across processes; handles that are not
// ours and sizes that do not fit.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "ipc/IpcTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/ipc/ZNSemaphorUtil.h"
#include "zn/ipc/ZNSharedMemUtil.h"

namespace {

using namespace zn::test;

TEST(ZNSemaphorUtil, UnnamedSemaphoreCountsUpToItsMaximum) {
  void* handle = nullptr;
  unsigned long error = 99;
  ASSERT_TRUE(ZNSemaphorUtil::createSemaphor(handle, error, 2));
  EXPECT_NE(handle, nullptr);
  EXPECT_EQ(error, 0u);
  bool timedOut = false;
  EXPECT_FALSE(ZNSemaphorUtil::waitForResource(handle, 0, timedOut, error));  // count 0 at first
  EXPECT_TRUE(timedOut);
  EXPECT_TRUE(ZNSemaphorUtil::releaseResource(handle, error));
  EXPECT_TRUE(ZNSemaphorUtil::releaseResource(handle, error));
  EXPECT_FALSE(ZNSemaphorUtil::releaseResource(handle, error));  // past the maximum
  EXPECT_EQ(error, 298u);
  EXPECT_TRUE(ZNSemaphorUtil::waitForResource(handle, 0, timedOut, error));
  EXPECT_FALSE(timedOut);
  EXPECT_TRUE(ZNSemaphorUtil::waitForResource(handle, 1000, timedOut, error));
  EXPECT_FALSE(ZNSemaphorUtil::waitForResource(handle, 20, timedOut, error));
  EXPECT_TRUE(timedOut);

  // A forked child shares it, as an inherited handle.
  Pipe toParent;
  ChildProcess child([&] {
    unsigned long childError = 0;
    bool childTimedOut = false;
    toParent.send('r');
    return ZNSemaphorUtil::waitForResource(handle, kWaitLimitMs, childTimedOut, childError) ? 0 : 2;
  });
  ASSERT_EQ(toParent.receive(), 'r');
  EXPECT_EQ(child.wait(kStaysBlocked), -1000);
  EXPECT_TRUE(ZNSemaphorUtil::releaseResource(handle, error));
  EXPECT_EQ(child.wait(), 0);
  ZNSemaphorUtil::destroySemaphor(handle);

  // Handles that are none of ours, and maximums that cannot be.
  int stranger = 0;
  EXPECT_FALSE(ZNSemaphorUtil::waitForResource(handle, 0, timedOut, error));  // closed
  EXPECT_EQ(error, 6u);
  EXPECT_FALSE(timedOut);
  EXPECT_FALSE(ZNSemaphorUtil::releaseResource(&stranger, error));
  EXPECT_EQ(error, 6u);
  EXPECT_FALSE(ZNSemaphorUtil::releaseResource(static_cast<void*>(nullptr), error));
  EXPECT_EQ(error, 6u);
  ZNSemaphorUtil::destroySemaphor(&stranger);  // nothing happens
  for (const long maximum : {0L, -1L, 0x80000000L}) {
    EXPECT_FALSE(ZNSemaphorUtil::createSemaphor(handle, error, maximum)) << maximum;
    EXPECT_EQ(error, 87u);
    EXPECT_EQ(handle, nullptr);
  }
}

TEST(ZNSemaphorUtil, NamedSemaphoreAcrossProcessesByHandleAndByName) {
  const std::string name = UniqueName("zsem");
  void* handle = nullptr;
  unsigned long error = 0;
  bool existed = true;
  bool timedOut = false;
  EXPECT_FALSE(ZNSemaphorUtil::openSemaphor(handle, name.c_str(), error));
  EXPECT_EQ(error, 2u);
  EXPECT_FALSE(ZNSemaphorUtil::releaseResource(name.c_str(), error));
  EXPECT_EQ(error, 2u);
  EXPECT_FALSE(ZNSemaphorUtil::waitForResource(name.c_str(), 0, timedOut, error));
  EXPECT_EQ(error, 2u);

  ASSERT_TRUE(ZNSemaphorUtil::createSemaphor(handle, name.c_str(), existed, error, 3));
  EXPECT_FALSE(existed);
  EXPECT_EQ(SegmentMode(name), 0666);
  Pipe toParent;
  ChildProcess child([&] {
    void* mine = nullptr;
    bool childExisted = false;
    unsigned long childError = 0;
    if (!ZNSemaphorUtil::createSemaphor(mine, name.c_str(), childExisted, childError, 1)) return 2;
    if (!childExisted || childError != 183) return 3;
    // Its own maximum of 1 does not count: the object's 3 does.
    for (int i = 0; i < 3; ++i) {
      if (!ZNSemaphorUtil::releaseResource(mine, childError)) return 4;
    }
    if (ZNSemaphorUtil::releaseResource(name.c_str(), childError) || childError != 298) return 5;
    toParent.send('3');
    return 0;
  });
  ASSERT_EQ(toParent.receive(), '3');
  EXPECT_EQ(child.wait(), 0);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(ZNSemaphorUtil::waitForResource(name.c_str(), 0, timedOut, error)) << i;
  EXPECT_FALSE(ZNSemaphorUtil::waitForResource(handle, 0, timedOut, error));
  EXPECT_TRUE(timedOut);

  void* opened = nullptr;
  ASSERT_TRUE(ZNSemaphorUtil::openSemaphor(opened, name.c_str(), error));
  EXPECT_NE(opened, handle);
  EXPECT_TRUE(ZNSemaphorUtil::releaseResource(opened, error));
  EXPECT_TRUE(ZNSemaphorUtil::waitForResource(handle, 0, timedOut, error));
  ZNSemaphorUtil::destroySemaphor(opened);
  ZNSemaphorUtil::destroySemaphor(handle);
  EXPECT_FALSE(SegmentExists(name));  // the last handle took it

  const std::string tooLong(260, 'x');
  EXPECT_FALSE(ZNSemaphorUtil::createSemaphor(handle, tooLong.c_str(), existed, error, 1));
  EXPECT_EQ(error, 206u);
  // A name that holds another kind of object.
  void* mapping = nullptr;
  void* view = ZNSharedMemUtil::createSharedMemory(name.c_str(), mapping, 64, error);
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(ZNSemaphorUtil::createSemaphor(handle, name.c_str(), existed, error, 1));
  EXPECT_EQ(error, 6u);
  EXPECT_FALSE(ZNSemaphorUtil::waitForResource(mapping, 0, timedOut, error));
  EXPECT_EQ(error, 6u);
  EXPECT_TRUE(ZNSharedMemUtil::closeSharedMemory(mapping, view, error));
}

TEST(ZNSharedMemUtil, MappingsAndViewsByNameAndByHandle) {
  const std::string name = UniqueName("zmem");
  void* handle = nullptr;
  unsigned long error = 0;
  auto* view = static_cast<unsigned char*>(ZNSharedMemUtil::createSharedMemory(name.c_str(), handle, 1000, error));
  ASSERT_NE(view, nullptr);
  EXPECT_NE(handle, nullptr);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(SegmentMode(name), 0600);  // default security: this user
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(view[i], 0) << i;
  std::memset(view, 0x42, 1000);

  // Made already: null, nothing held.
  void* again = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZNSharedMemUtil::createSharedMemory(name.c_str(), again, 1000, error), nullptr);
  EXPECT_EQ(error, 183u);
  EXPECT_EQ(again, nullptr);

  // Another process sees the bytes, may not write through a read-only view.
  ChildProcess reader([&] {
    void* mine = nullptr;
    unsigned long childError = 0;
    auto* bytes = static_cast<unsigned char*>(
        ZNSharedMemUtil::getSharedMemoryByName(mine, name.c_str(), 1000, childError, true));
    if (bytes == nullptr || childError != 183 || bytes[999] != 0x42) return 2;
    // The kernel refuses to store into a read-only page with EFAULT, where
    // a plain store would fault (and a sanitizer turns the fault into an
    // ordinary exit).
    int ends[2];
    if (::pipe(ends) != 0 || ::write(ends[1], "x", 1) != 1) return 3;
    const ssize_t stored = ::read(ends[0], bytes, 1);
    const int why = errno;
    ::close(ends[0]);
    ::close(ends[1]);
    if (stored != -1 || why != EFAULT) return 4;
    return bytes[0] == 0x42 ? 0 : 5;
  });
  EXPECT_EQ(reader.wait(), 0);
  ChildProcess writer([&] {
    void* mine = nullptr;
    unsigned long childError = 0;
    auto* bytes = static_cast<unsigned char*>(
        ZNSharedMemUtil::getSharedMemoryByName(mine, name.c_str(), 500, childError, false));
    if (bytes == nullptr) return 2;
    bytes[0] = 7;
    return ZNSharedMemUtil::closeSharedMemory(mine, bytes, childError) && mine == nullptr ? 0 : 3;
  });
  EXPECT_EQ(writer.wait(), 0);
  EXPECT_EQ(view[0], 7);

  // More views of the handle; sizes that do not fit.
  auto* whole = static_cast<unsigned char*>(ZNSharedMemUtil::getSharedMemory(handle, 0, error));
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole[999], 0x42);
  EXPECT_EQ(ZNSharedMemUtil::getSharedMemory(handle, 1001, error), nullptr);
  EXPECT_EQ(error, 5u);
  void* larger = nullptr;
  EXPECT_EQ(ZNSharedMemUtil::getSharedMemoryByName(larger, name.c_str(), 4096, error, false), nullptr);
  EXPECT_EQ(error, 5u);
  EXPECT_EQ(larger, nullptr);
  EXPECT_EQ(ZNSharedMemUtil::getSharedMemory(handle, -1, error), nullptr);
  EXPECT_EQ(error, 87u);
  int stranger = 0;
  void* strangerHandle = &stranger;
  EXPECT_EQ(ZNSharedMemUtil::getSharedMemory(strangerHandle, 10, error), nullptr);
  EXPECT_EQ(error, 6u);

  EXPECT_TRUE(ZNSharedMemUtil::deleteSharedMemory(whole, error));
  EXPECT_FALSE(ZNSharedMemUtil::deleteSharedMemory(whole, error));
  EXPECT_EQ(error, 487u);
  EXPECT_FALSE(ZNSharedMemUtil::deleteSharedMemory(view + 1, error));  // not where a view starts
  EXPECT_EQ(error, 487u);

  // The view outlives the handle; the mapping goes with the last view.
  EXPECT_TRUE(ZNSharedMemUtil::closeSharedMemory(handle, nullptr, error));
  EXPECT_EQ(handle, nullptr);
  EXPECT_TRUE(SegmentExists(name));
  EXPECT_EQ(view[500], 0x42);
  EXPECT_FALSE(ZNSharedMemUtil::closeSharedMemory(handle, nullptr, error));
  EXPECT_EQ(error, 6u);
  EXPECT_TRUE(ZNSharedMemUtil::deleteSharedMemory(view, error));
  EXPECT_FALSE(SegmentExists(name));

  for (const int size : {0, -1}) {
    EXPECT_EQ(ZNSharedMemUtil::createSharedMemory(name.c_str(), handle, size, error), nullptr);
    EXPECT_EQ(error, 87u);
    EXPECT_EQ(ZNSharedMemUtil::getSharedMemoryByName(handle, name.c_str(), size, error, false), nullptr);
    EXPECT_EQ(error, 87u);
  }
  EXPECT_FALSE(SegmentExists(name));
}

}  // namespace
