// The component-settings classes: defaults, range rules, caches, setters,
// platform types, agents and the machine's identity values.

#include <cstring>

#include "config/ConfigTestUtil.h"
#include "zn/config/ZNPI_ApplicationAgent.h"
#include "zn/config/ZNPI_Base.h"
#include "zn/config/ZNPI_Components.h"
#include "zn/config/ZNPI_Session.h"
#include "zn/crypto/ZNPassword.h"

namespace {

using ZnComponents = zn::test::ConfigTest;

TEST_F(ZnComponents, RangeRulesReplaceOutOfRangeValuesWithTheDefault) {
  ZNPlatformInfo store;
  ZNPI_EventManager eventManager;
  struct Case {
    const char* name;
    long stored;  // -1: absent
    unsigned long expected;
    unsigned long (ZNPI_EventManager::*getter)();
  } cases[] = {
      {"nMaxLogFileCount", 11, 1, &ZNPI_EventManager::getMaxLogFilesCount},
      {"nMaxLogFileCount", 10, 10, &ZNPI_EventManager::getMaxLogFilesCount},
      {"nMaxLogFileCount", -1, 1, &ZNPI_EventManager::getMaxLogFilesCount},
      {"nMaxLogFileSize", 51, 5, &ZNPI_EventManager::getMaxLogFilesSize},
      {"nMaxLogFileSize", 50, 50, &ZNPI_EventManager::getMaxLogFilesSize},
      {"nSocketInactivityTimeout", -1, 900, &ZNPI_EventManager::getInactivitySocketTimeout},
      {"nDEBUG", 0, 0, &ZNPI_EventManager::getDebugFlag},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + std::to_string(c.stored));
    if (c.stored < 0) {
      store.deleteField("EventManager", c.name);
    } else {
      ASSERT_EQ(store.setNumber("EventManager", c.name, static_cast<unsigned long>(c.stored)), 1);
    }
    EXPECT_EQ((eventManager.*c.getter)(), c.expected);
  }
  // Defaults are never written back.
  unsigned long number = 0;
  EXPECT_EQ(store.getNumber("EventManager", "nSocketInactivityTimeout", &number), 0);
  EXPECT_EQ(store.getRegError(), -3);
}

TEST_F(ZnComponents, SessionCachesClampsAndSetters) {
  ZNPlatformInfo store;
  ZNPI_Session session;
  const struct {
    long stored;
    unsigned long expected;
  } retries[] = {{0, 1}, {500, 100}, {-1, 40}, {7, 7}};
  for (const auto& r : retries) {
    if (r.stored < 0) {
      store.deleteField("Session", "nRetryCount");
    } else {
      store.setNumber("Session", "nRetryCount", static_cast<unsigned long>(r.stored));
    }
    EXPECT_EQ(session.getRetryCount(true), r.expected) << r.stored;
  }

  EXPECT_EQ(session.setDisconnectTimeOut(30), 30u);
  store.setNumber("Session", "nDISCONNECT_TIMEOUT", 99);  // behind the cache's back
  EXPECT_EQ(session.getDisconnectTimeOut(), 30u);
  EXPECT_EQ(session.getDisconnectTimeOut(true), 99u);
  EXPECT_EQ(ZNPI_Session().getAttachTimeOut(), 120u);

  store.setNumber("Session", "nPreferredIPFamily", 7);
  EXPECT_EQ(session.GetPreferredIPFamily(), 0);
  store.setNumber("Session", "nPreferredIPFamily", 2);
  EXPECT_EQ(session.GetPreferredIPFamily(), 23);
  store.deleteField("Session", "nPreferredIPFamily");
  EXPECT_EQ(session.GetPreferredIPFamily(), 2);

  // Ports are read once per object.
  EXPECT_EQ(session.getZNDPort(), 8400u);
  store.setNumber("Session", "nZNDPORT", 8500);
  EXPECT_EQ(session.getZNDPort(), 8400u);
  EXPECT_EQ(ZNPI_Session().getZNDPort(), 8500u);

  store.setNumber("Session", "myapp_FDSETSZ", 4096);
  EXPECT_EQ(session.getFdsetSize("myapp"), 4096u);
  EXPECT_EQ(session.getFdsetSize(), 0u);

  // A failed setter clears its cache and keeps the store's message.
  ZNPI_Focus::setFocus("");
  ZNPI_Session empty(0, 0);
  EXPECT_EQ(empty.setAttachTimeOut(5), 0u);
  EXPECT_NE(empty.getLastErrorMsg().find("current focus is unknown"), std::string::npos);
  ZNPI_Focus::reload();
}

TEST_F(ZnComponents, BaseDirectoriesVersionNumberAndPlatformTypes) {
  ZNPlatformInfo store;
  ZNPI_Base base;
  EXPECT_EQ(base.getHomeDirectory(), nullptr);
  const char home[] = "/opt/tessaly/Base";
  store.setDirectory("Base", "dBASEHOME", home, sizeof home);
  ASSERT_NE(base.getHomeDirectory(), nullptr);
  EXPECT_STREQ(base.getHomeDirectory(), home);
  store.setDirectory("Base", "dBASEHOME", "/elsewhere", 11);
  EXPECT_STREQ(base.getHomeDirectory(), home) << "cached on the first successful read";

  EXPECT_EQ(base.getVersionNumber(), -1);
  store.setString("Base", "sVERSION", "7.0.0(BUILD12)");
  EXPECT_EQ(ZNPI_Base().getVersionNumber(), 700);

  EXPECT_FALSE(base.isPlatformTypeHS()) << "unknown type: every test is false";
  store.setNumber("Base", "nPLATTYPE", 5);
  ZNPI_Base typed;
  EXPECT_TRUE(typed.isPlatformTypeHSCC());
  EXPECT_TRUE(typed.isPlatformTypeCC());
  EXPECT_FALSE(typed.isPlatformTypeMN());
  EXPECT_EQ(ZNPI_PlatformBase().getPlatformBaseType(), 1u);
  store.setNumber("Base", "nPLATTYPE", 6);
  EXPECT_EQ(ZNPI_PlatformBase().getPlatformBaseType(), 4u);
  store.setNumber("Base", "nPLATTYPE", 2);
  EXPECT_EQ(ZNPI_PlatformBase().getPlatformBaseType(), 2u);
  EXPECT_EQ(ZNPI_HubServer().getPlatformBaseType(), 1u);
}

TEST_F(ZnComponents, AgentsWithoutASectionFailEveryGetter) {
  ZNPlatformInfo store;
  const char home[] = "/opt/tessaly/FileSystem";
  store.setDirectory("FileSystemAgent", "dHOME", home, sizeof home);
  store.setString("FileSystemAgent", "sVERSION", "11.32");
  ZNPI_FileSystemAgent fs;
  EXPECT_STREQ(fs.getAgentDirectory(), home);
  EXPECT_STREQ(fs.getAgentVersion(), "11.32");
  // Several types share the file-system agent's section.
  ZNPI_ApplicationAgentBase snap(ZNPI_ApplicationAgentBase::AAT_FILESYSTEM_SNAP);
  EXPECT_STREQ(snap.getAgentDirectory(), home);
  for (const unsigned int type : {0u, 117u, 60u}) {
    ZNPI_ApplicationAgentBase agent(type);
    EXPECT_EQ(agent.getAgentDirectory(), nullptr) << type;
    EXPECT_EQ(agent.getAgentSection(), "") << type;
  }
  EXPECT_EQ(ZNPI_ApplicationAgentBase::convertAMToEnumAAT(ZNPI_ApplicationAgentBase::convertEnumToAMAAT(4)), 4u);
  EXPECT_EQ(ZNPI_ApplicationAgentBase::getAATName(4), "SQL Server");

  store.setNumber("Machines\\client1\\FileSystemAgent", "nINSTALL", ZNPI_ApplicationAgentBase::kInstallFailed);
  EXPECT_TRUE(fs.isAgentInstallFailed("client1"));
  EXPECT_TRUE(fs.isAgentInstallInactive("client2") || !fs.isAgentInstallActive("client2"));
}

TEST_F(ZnComponents, IdentityNeedsItsPlatformBitAndABigEnoughBuffer) {
  ZNPlatformInfo store;
  store.setString("HubServe", "sHSHOSTNAME", "hs.example.com");
  store.setString("iDepotAgent", "sHSCLIENTNAME", "hs-client");
  char buffer[300];
  store.setNumber("Base", "nPLATTYPE", 4);
  EXPECT_EQ(store.getHubServerHostName(buffer, sizeof buffer), 0);
  EXPECT_EQ(store.getLastErrorMsg(), "Invalid platform type.");
  EXPECT_EQ(store.getHubClientHSHostName(buffer, sizeof buffer), 1) << "falls back to HubServe";
  EXPECT_STREQ(buffer, "hs.example.com");
  EXPECT_EQ(store.getHubClientHSClientName(buffer, 100), 0);
  EXPECT_EQ(store.getLastErrorMsg(), "Invalid buffer passed as input.");
  EXPECT_EQ(store.findHubServerClientName(buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "hs-client");

  ASSERT_EQ(store.setClientHostName("client1", "client1.example.com"), 1);
  EXPECT_EQ(store.getClientHostName("client1", buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "client1.example.com");
  std::list<std::string> clients;
  ASSERT_EQ(store.getClientList(clients), 1);
  EXPECT_EQ(clients, std::list<std::string>{"client1"});
  EXPECT_FALSE(store.isClusterGroupClient("client1"));
  store.setString("Machines\\client1", "sPhysicalNodeName", "node-a");
  EXPECT_TRUE(store.isClusterGroupClient("client1"));
}

TEST_F(ZnComponents, NetworkPasswordsPreferTheComponentsOlderPlaceWhileItHoldsAReadablePassword) {
  ZNPlatformInfo store;
  store.setNumber("Base", "nPLATTYPE", 6);
  const auto encoded = [](const char* plain) {
    ZNPassword password;
    EXPECT_EQ(password.encrypt(plain), 1);
    return password;
  };
  const auto plainOf = [](const ZNPassword& password) {
    ZNPassword reader;
    secure_basic_string<char> plain;
    EXPECT_EQ(reader.decrypt(secure_basic_string<char>(password.getEncoded()), plain), 1);
    return std::string(plain.begin(), plain.end());
  };
  ZNPassword written = encoded("first");
  ASSERT_EQ(store.setMediaNodeNetworkPassword(&written), 1);
  ZNPassword read;
  EXPECT_EQ(store.getHubClientNetworkPassword(&read), 1);  // both read Session/pCntInfo
  EXPECT_EQ(plainOf(read), "first");

  // What is not a password of ours in the older place is left alone.
  store.setString("MediaNode", "pHSNETPWD", "older");
  ZNPassword second = encoded("second");
  ASSERT_EQ(store.setMediaNodeNetworkPassword(&second), 1);
  std::string older;
  EXPECT_EQ(store.getString("MediaNode", "pHSNETPWD", &older), 1);
  EXPECT_EQ(older, "older");
  EXPECT_EQ(store.getHubClientNetworkPassword(&read), 1);
  EXPECT_EQ(plainOf(read), "second");

  // A readable one there is kept up to date, and read first.
  ZNPassword third = encoded("third");
  store.setString("MediaNode", "pHSNETPWD", std::string(third.getEncoded()));
  ZNPassword fourth = encoded("fourth");
  ASSERT_EQ(store.setMediaNodeNetworkPassword(&fourth), 1);
  EXPECT_EQ(store.getMediaNodeNetworkPassword(&read), 1);
  EXPECT_EQ(plainOf(read), "fourth");
  EXPECT_EQ(store.findNetworkPassword(&read), 1);
  EXPECT_EQ(plainOf(read), "fourth");
  EXPECT_EQ(store.getHubClientNetworkPassword(&read), 1);  // Session/pCntInfo kept the second
  EXPECT_EQ(plainOf(read), "second");

  EXPECT_EQ(store.getHubServerNetworkPassword(&read), 0);
  EXPECT_EQ(store.getLastErrorMsg(), "Invalid platform type.");
  EXPECT_EQ(store.getMediaNodeNetworkPassword(nullptr), 0);
  EXPECT_EQ(store.getLastErrorMsg(), "Invalid buffer passed as input.");
  EXPECT_EQ(store.findNetworkPassword(nullptr), 0);
  EXPECT_EQ(store.getLastErrorMsg(), "Invalid ZNPassword pointer passed as input.");
}

}  // namespace
