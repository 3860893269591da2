// Product detection: feature switches and their cache, the scale-compute
// role, installed packages, update records by component and agent type, and
// the operating-system texts.

#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigTestUtil.h"
#include "zn/config/ZnFeatureCache.h"
#include "zn/util/ZnOSInfo.h"

namespace {

using ProductInfo = zn::test::ConfigTest;

TEST_F(ProductInfo, FeaturesAreNonZeroNumbersAndTheCacheKeepsItsFirstAnswer) {
  ZNPlatformInfo store(0, 0);
  ASSERT_TRUE(store.setNumber("Features", "Dedup", 2));
  ASSERT_TRUE(store.setNumber("Features", "Off", 0));
  EXPECT_EQ(store.IsFeatureEnabled(nullptr), 0);
  EXPECT_EQ(store.IsFeatureEnabled("Dedup"), 1);
  EXPECT_EQ(store.IsFeatureEnabled("dedup"), 1);  // store names ignore case
  EXPECT_EQ(store.IsFeatureEnabled("Off"), 0);
  EXPECT_EQ(store.IsFeatureEnabled("Absent"), 0);

  ZnFeatureCache cache("Instance001");
  EXPECT_TRUE(cache.IsFeatureEnabled("Dedup"));
  EXPECT_FALSE(cache.IsFeatureEnabled("Off"));
  ASSERT_TRUE(store.setNumber("Features", "Dedup", 0));
  ASSERT_TRUE(store.setNumber("Features", "Off", 1));
  EXPECT_TRUE(cache.IsFeatureEnabled("Dedup"));  // the first answer stays
  EXPECT_FALSE(cache.IsFeatureEnabled("Off"));
  EXPECT_FALSE(cache.IsFeatureEnabledUpdated("Dedup"));  // reads anew and keeps that
  ASSERT_TRUE(store.setNumber("Features", "Dedup", 1));
  EXPECT_FALSE(cache.IsFeatureEnabled("Dedup"));
  EXPECT_FALSE(cache.IsFeatureEnabled("Off"));
  cache.RefreshCache();
  EXPECT_TRUE(cache.IsFeatureEnabled("Dedup"));
  EXPECT_TRUE(cache.IsFeatureEnabled("Off"));

  // A cache belongs to its instance, not to the process's focus.
  ASSERT_TRUE(ZNPlatformInfo(std::string("Instance002")).setNumber("Features", "Dedup", 0));
  ZnFeatureCache other("Instance002");
  EXPECT_FALSE(other.IsFeatureEnabled("Dedup"));
  EXPECT_TRUE(cache.IsFeatureEnabled("Dedup"));
}

TEST_F(ProductInfo, OneFeatureCacheSharedByThreads) {
  ZNPlatformInfo store(0, 0);
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(store.setNumber("Features", ("F" + std::to_string(i)).c_str(), i % 2));
  const auto cache = std::make_shared<ZnFeatureCache>("Instance001");
  const auto wrong = std::make_shared<std::atomic<int>>(0);
  std::vector<std::future<void>> done;
  for (int t = 0; t < 6; ++t) {
    std::packaged_task<void()> task([t, cache, wrong] {
      for (int round = 0; round < 60; ++round) {
        for (int i = 0; i < 16; ++i) {
          const std::string feature = "F" + std::to_string(i);
          const bool enabled =
              t == 0 && i == 0 ? cache->IsFeatureEnabledUpdated(feature) : cache->IsFeatureEnabled(feature);
          if (enabled != (i % 2 == 1)) ++*wrong;
        }
        if (t == 1) cache->RefreshCache();  // empties the map under the others' feet
      }
    });
    done.push_back(task.get_future());
    std::thread(std::move(task)).detach();
  }
  for (auto& future : done) ASSERT_EQ(future.wait_for(std::chrono::seconds(120)), std::future_status::ready);
  EXPECT_EQ(wrong->load(), 0);
}

TEST_F(ProductInfo, ScaleComputeNeedsAComputeIdAndForTheProperRoleAScaleSet) {
  ZNPlatformInfo store(0, 0);
  EXPECT_FALSE(store.isScaleCompute());
  EXPECT_FALSE(isScaleCompute());
  ASSERT_TRUE(store.setString(nullptr, "sComputeID", ""));
  EXPECT_FALSE(store.isScaleCompute());
  ASSERT_TRUE(store.setString("ZnScale", "sScaleSetID", "set-1"));
  EXPECT_FALSE(store.isProperScaleCompute());  // a scale set without a compute id
  ASSERT_TRUE(store.setString(nullptr, "sComputeID", "node7"));
  EXPECT_TRUE(store.isScaleCompute());
  EXPECT_TRUE(isScaleCompute());
  EXPECT_TRUE(store.isProperScaleCompute());
  ASSERT_TRUE(store.setString("ZnScale", "sScaleSetID", ""));
  EXPECT_FALSE(store.isProperScaleCompute());
  EXPECT_FALSE(ZNPlatformInfo(std::string("Instance002")).isScaleCompute());
}

TEST_F(ProductInfo, InstalledPackages) {
  ZNPlatformInfo store(0, 0);
  std::vector<int> ids{99};
  EXPECT_EQ(store.GetListOfInstalledPackages(ids), 0);  // no such section
  EXPECT_EQ(ids, std::vector<int>{99});
  ASSERT_TRUE(store.setString("InstalledPackages/12", "sInstallState", "Installed"));
  ASSERT_TRUE(store.setString("InstalledPackages/7", "sInstallState", "INSTALLED"));
  ASSERT_TRUE(store.setString("InstalledPackages/3", "sInstallState", "Uninstalled"));
  ASSERT_TRUE(store.setString("InstalledPackages/4", "sInstallState", "Installed "));
  ASSERT_TRUE(store.setString("InstalledPackages/abc", "sInstallState", "Installed"));
  ASSERT_TRUE(store.createRegKey("~InstalledPackages/5"));
  ASSERT_EQ(store.GetListOfInstalledPackages(ids), 1);
  EXPECT_EQ(ids, (std::vector<int>{99, 12, 7}));  // appended, in the store's name order

  EXPECT_TRUE(store.IsThisPackageInstalled(12));
  EXPECT_FALSE(store.IsThisPackageInstalled(7));  // the single test compares exactly
  EXPECT_FALSE(store.IsThisPackageInstalled(3));
  EXPECT_FALSE(store.IsThisPackageInstalled(4));
  EXPECT_FALSE(store.IsThisPackageInstalled(5));
  EXPECT_FALSE(store.IsThisPackageInstalled(6));
}

TEST_F(ProductInfo, PatchListKeyPerComponentAndAgentType) {
  ZNPlatformInfo store(0, 0);
  // One installed update per record, named after the record.
  const std::vector<std::pair<std::string, std::string>> records = {
      {"~Updates", "Root"}, {"~Updates/HubServe", "HubServe"}, {"~Updates/iDepotAgent", "Client"},
      {"~Updates/MediaNode", "MediaNode"}, {"~Updates/iDepotAgent/NAS", "NAS"},
      {"~Updates/iDepotAgent/HotspotSnapshotAgent", "Hotspot"},
      {"~Updates/iDepotAgent/FileSystemAgent", "FileSystem"}, {"~Updates/iDepotAgent/MSSQLAgent", "MSSQL"},
      {"~Updates/iDepotAgent/OracleAgent", "Oracle"}};
  for (const auto& [key, update] : records) ASSERT_TRUE(store.setRegString(key.c_str(), update.c_str(), "20240131"));
  const std::vector<std::pair<int, std::string>> expected = {
      {1000, "HubServe"},  {1001, "Client"},     {1002, "MediaNode"},  {1003, "NAS"},  {1007, "Hotspot"},
      {1, "FileSystem"},   {11, "FileSystem"},   {33, "FileSystem"},   {34, "FileSystem"},
      {42, "FileSystem"},  {43, "FileSystem"},   {4, "MSSQL"},         {2, "Oracle"},  {21, "Root"},
      {1004, "Root"},      {-1, "Root"},         {999999, "Root"}};
  for (const auto& [type, update] : expected) {
    EXPECT_STREQ(store.getPatchList(type), ("AdditionalUpdates:" + update).c_str()) << type;
  }

  // The text is emptied before each build: a record that is gone gives "".
  ASSERT_TRUE(store.delRegKey("~Updates/iDepotAgent/NAS"));
  EXPECT_STREQ(store.getPatchList(1003), "");
  char key[] = "~Updates/iDepotAgent/NAS";
  EXPECT_EQ(store.GetPatchSPFromReg(key), 0);
  EXPECT_EQ(store.GetPatchesOnly(key), 0);
}

TEST_F(ProductInfo, PatchListWithTheHighestServicePack) {
  ZNPlatformInfo store(0, 0);
  // Numerically highest, not last by name ("_SP9" sorts after "_SP24").
  ASSERT_TRUE(store.setRegString("~Updates/HubServe/ServicePacks", "Orvane_SP9", "9.1"));
  ASSERT_TRUE(store.setRegString("~Updates/HubServe/ServicePacks", "Orvane_SP24", "24.1, 24.2,24.3"));
  ASSERT_TRUE(store.setRegString("~Updates/HubServe/ServicePacks", "Notes", "x"));
  for (const char* installed : {"24.1", "24.3", "HF77"}) {
    ASSERT_TRUE(store.setRegString("~Updates/HubServe", installed, "20240131"));
  }
  EXPECT_STREQ(store.getPatchList(1000), "ServicePack:24:24.1,24.2,24.3\nAdditionalUpdates:HF77\nMissingUpdates:24.2");
  EXPECT_EQ(store.getServicePackText(), "24");

  char servicePacks[] = "~Updates/HubServe/ServicePacks";
  char sp[kZnPatchTextSize];
  char patches[kZnPatchTextSize];
  ASSERT_EQ(store.GetHighestSPAndItsPatches(servicePacks, sp, patches), 1);
  EXPECT_STREQ(sp, "Orvane_SP24");
  EXPECT_STREQ(patches, "24.1, 24.2,24.3");
  char none[] = "~Updates/MediaNode/ServicePacks";
  EXPECT_EQ(store.GetHighestSPAndItsPatches(none, sp, patches), 0);

  // Every update of the pack installed, nothing more: both lists empty. A
  // record without service packs loses its service-pack text.
  ASSERT_TRUE(store.setRegString("~Updates/HubServe", "24.2", "20240201"));
  ASSERT_TRUE(store.delRegField("~Updates/HubServe", "HF77"));
  EXPECT_STREQ(store.getPatchList(1000), "ServicePack:24:24.1,24.2,24.3\nAdditionalUpdates:\nMissingUpdates:");
  ASSERT_TRUE(store.setRegString("~Updates/MediaNode", "MN1", "20240131"));
  EXPECT_STREQ(store.getPatchList(1002), "AdditionalUpdates:MN1");
  EXPECT_EQ(store.getServicePackText(), "");
}

TEST(ZnOSInfo, TextsOfThisMachineAndOsReleaseValues) {
  std::string os, name;
  ASSERT_TRUE(ZN_GetOSInstalled(os));
  struct utsname names {};
  ASSERT_EQ(::uname(&names), 0);
  name = names.sysname;
  ZN_GetOSInfoUsingRegistry(name);
  EXPECT_EQ(os, name + " (" + names.release + " " + names.machine + ")");
  std::string product, processor;
  unsigned long processors = 0;
  ASSERT_TRUE(ZN_GetProductTypeAndProcessorType(product, processor, processors));
  EXPECT_FALSE(product.empty() || processor.empty());
  EXPECT_EQ(processors, static_cast<unsigned long>(::sysconf(_SC_NPROCESSORS_ONLN)));
  // No hot-fixes here: the queries succeed and find nothing.
  std::string a = "KB1", b = "KB2", c = "KB3", d = "KB4";
  EXPECT_TRUE(ZN_GetOSHotFixInstalled(a) && ZN_GetOSHotFixAndSeparateKBInstalled(b, c) && ZN_GetHotFixUsingWmi(d));
  EXPECT_EQ(a + b + c + d, "");

  const auto value = [](std::string_view key) {
    std::istringstream in(
        "# PRETTY_NAME=\"commented\"\nNAME=Debian\nPRETTY_NAME=\"Debian 12 (\\\"bookworm\\\")\"\r\n"
        "VARIANT='Server Edition'\n  ID = no\nID=debian\nID=final\n");
    return zn::OsReleaseValue(in, key);
  };
  EXPECT_EQ(value("NAME"), "Debian");
  EXPECT_EQ(value("PRETTY_NAME"), "Debian 12 (\"bookworm\")");
  EXPECT_EQ(value("VARIANT"), "Server Edition");
  EXPECT_EQ(value("ID"), "final");  // the last assignment wins
  EXPECT_EQ(value("VERSION") + value("PRETTY"), "");
}

}  // namespace
