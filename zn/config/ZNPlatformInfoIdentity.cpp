// ZNPlatformInfo: the central server's and the clients' names as this
// machine knows them, and the password it authenticates with.

#include <cstring>

#include "zn/config/ZNPlatformInfo.h"
#include "zn/crypto/ZNPassword.h"
#include "znfocus/ZNPI_Focus.h"

namespace {

constexpr int kMinimumBuffer = 256;
constexpr const char* kInvalidBuffer = "Invalid buffer passed as input.";
constexpr const char* kInvalidPlatform = "Invalid platform type.";
constexpr const char* kPasswordSection = "Session";
constexpr const char* kPasswordValue = "pCntInfo";
constexpr const char* kComponentPasswordValue = "pHSNETPWD";

std::string RemoteSection(const char* section, const std::string& remoteCell) {
  return remoteCell.empty() ? std::string(section) : "RemoteHubServes\\" + remoteCell + "\\" + section;
}

}  // namespace

int ZNPlatformInfo::readIdentity(const char* context, unsigned long requiredBit, const char* section,
                                 const char* fallbackSection, const char* name, char* buf, int size,
                                 const std::string& remoteCell) {
  if (buf == nullptr || size < kMinimumBuffer) {
    fail(context, kInvalidBuffer);
    return 0;
  }
  if (requiredBit != 0 && (getZNPlatformType() & requiredBit) == 0) {
    fail(context, kInvalidPlatform);
    return 0;
  }
  std::string text;
  if (getString(RemoteSection(section, remoteCell).c_str(), name, &text) == 0 &&
      (fallbackSection == nullptr || getString(RemoteSection(fallbackSection, remoteCell).c_str(), name, &text) == 0)) {
    return 0;
  }
  if (text.size() + 1 > static_cast<std::size_t>(size) || text.size() + 1 > static_cast<std::size_t>(kMinimumBuffer + 1)) {
    fail(context, kInvalidBuffer);
    return 0;
  }
  std::memcpy(buf, text.c_str(), text.size() + 1);
  return 1;
}

int ZNPlatformInfo::getHubServerHostName(char* buf, int size, const std::string& remoteCell) {
  return readIdentity("getHubServerHostName", 1, "HubServe", nullptr, "sHSHOSTNAME", buf, size, remoteCell);
}

int ZNPlatformInfo::getHubServerClientName(char* buf, int size, const std::string& remoteCell) {
  return readIdentity("getHubServerClientName", 1, "HubServe", nullptr, "sHSCLIENTNAME", buf, size, remoteCell);
}

int ZNPlatformInfo::getHubServerDisplayName(char* buf, int size, const std::string& remoteCell) {
  return readIdentity("getHubServerDisplayName", 1, "HubServe", nullptr, "sHSDISPLAYNAME", buf, size, remoteCell);
}

int ZNPlatformInfo::getHubClientHSHostName(char* buf, int size) {
  return readIdentity("getHubClientHSHostName", 4, "iDepotAgent", "HubServe", "sHSHOSTNAME", buf, size, "");
}

int ZNPlatformInfo::getHubClientHSClientName(char* buf, int size) {
  return readIdentity("getHubClientHSClientName", 4, "iDepotAgent", "HubServe", "sHSCLIENTNAME", buf, size, "");
}

int ZNPlatformInfo::getMediaNodeHSHostName(char* buf, int size) {
  return readIdentity("getMediaNodeHSHostName", 2, "MediaNode", "HubServe", "sHSHOSTNAME", buf, size, "");
}

int ZNPlatformInfo::getMediaNodeHSClientName(char* buf, int size) {
  return readIdentity("getMediaNodeHSClientName", 2, "MediaNode", "HubServe", "sHSCLIENTNAME", buf, size, "");
}

int ZNPlatformInfo::findHubServerHostName(char* buf, int size) {
  const unsigned long type = getZNPlatformType();
  if ((type & 1u) != 0) return readIdentity("findHubServerHostName", 0, "HubServe", nullptr, "sHSHOSTNAME", buf, size, "");
  if ((type & 2u) != 0) {
    return readIdentity("findHubServerHostName", 0, "MediaNode", "HubServe", "sHSHOSTNAME", buf, size, "");
  }
  if ((type & 4u) != 0) {
    return readIdentity("findHubServerHostName", 0, "iDepotAgent", "HubServe", "sHSHOSTNAME", buf, size, "");
  }
  fail("findHubServerHostName", kInvalidPlatform);
  return 0;
}

int ZNPlatformInfo::findHubServerClientName(char* buf, int size) {
  const unsigned long type = getZNPlatformType();
  if ((type & 1u) != 0) {
    return readIdentity("findHubServerClientName", 0, "HubServe", nullptr, "sHSCLIENTNAME", buf, size, "");
  }
  if ((type & 2u) != 0) {
    return readIdentity("findHubServerClientName", 0, "MediaNode", "HubServe", "sHSCLIENTNAME", buf, size, "");
  }
  if ((type & 4u) != 0) {
    return readIdentity("findHubServerClientName", 0, "iDepotAgent", "HubServe", "sHSCLIENTNAME", buf, size, "");
  }
  fail("findHubServerClientName", kInvalidPlatform);
  return 0;
}

int ZNPlatformInfo::findHubServerGUID(std::string& out) { return getString("HubServe", "sHSGUID", &out); }

int ZNPlatformInfo::getClientHostName(const char* client, std::string& out) {
  if (ZNPI_Focus::getProductType() == TESSALY_PRODUCT_TYPE_HUBNET) return getString("HubNet", "sPNETHOSTNAME", &out);
  if (client == nullptr || client[0] == '\0') {
    fail("getClientHostName", kInvalidBuffer);
    return 0;
  }
  return getString((std::string("Machines/") + client).c_str(), "sHOSTNAME", &out);
}

int ZNPlatformInfo::getClientHostName(const char* client, char* buf, int size) {
  if (buf == nullptr || size < kMinimumBuffer) {
    fail("getClientHostName", kInvalidBuffer);
    return 0;
  }
  std::string host;
  if (getClientHostName(client, host) == 0) return 0;
  if (host.size() + 1 > static_cast<std::size_t>(size)) {
    fail("getClientHostName", "Too small buffer passed as input.");
    return 0;
  }
  std::memcpy(buf, host.c_str(), host.size() + 1);
  return 1;
}

int ZNPlatformInfo::getClientGUID(const char* client, std::string& out) {
  if (client == nullptr || client[0] == '\0') return 0;
  return getString((std::string("Machines/") + client).c_str(), "sGUID", &out);
}

int ZNPlatformInfo::getClientList(std::list<std::string>& out) { return getSubKeys("Machines", &out) ? 1 : 0; }

int ZNPlatformInfo::setClientHostName(const char* client, const char* host) {
  if (client == nullptr || client[0] == '\0' || host == nullptr) return 0;
  return setString((std::string("Machines\\") + client).c_str(), "sHOSTNAME", host);
}

bool ZNPlatformInfo::isClusterGroupClient(const char* client) {
  std::string node;
  return client != nullptr && client[0] != '\0' &&
         getString((std::string("Machines/") + client).c_str(), "sPhysicalNodeName", &node) != 0 && !node.empty();
}

// ---- Network passwords ----

int ZNPlatformInfo::readNetworkPassword(const char* context, unsigned long requiredBit, const char* section,
                                        ZNPassword* password) {
  if (password == nullptr) {
    fail(context, kInvalidBuffer);
    return 0;
  }
  if ((getZNPlatformType() & requiredBit) == 0) {
    fail(context, kInvalidPlatform);
    return 0;
  }
  // The component's own older place first, then the current one.
  if (getPassword(section, kComponentPasswordValue, password) != 0) return 1;
  return getPassword(kPasswordSection, kPasswordValue, password);
}

int ZNPlatformInfo::writeNetworkPassword(const char* context, unsigned long requiredBit, const char* section,
                                         ZNPassword* password) {
  if (password == nullptr) {
    fail(context, kInvalidBuffer);
    return 0;
  }
  const unsigned long type = getZNPlatformType();
  if ((type & requiredBit) == 0) {
    fail(context, kInvalidPlatform);
    return 0;
  }
  if (requiredBit != 1) {
    // The older place is kept up to date only while it holds a password
    // that decodes here; anything else there is left for the current one.
    ZNPassword stored;
    secure_basic_string<char> plain;
    if (getPassword(section, kComponentPasswordValue, &stored) != 0 && !stored.isEmpty() &&
        stored.decrypt(secure_basic_string<char>(stored.getEncoded()), plain) != 0) {
      return setPassword(section, kComponentPasswordValue, password);
    }
  }
  return setPassword(kPasswordSection, kPasswordValue, password);
}

int ZNPlatformInfo::getHubServerNetworkPassword(ZNPassword* password) {
  return readNetworkPassword("getHubServerNetworkPassword", 1, "Session", password);
}

int ZNPlatformInfo::setHubServerNetworkPassword(ZNPassword* password) {
  return writeNetworkPassword("setHubServerNetworkPassword", 1, "Session", password);
}

int ZNPlatformInfo::getHubClientNetworkPassword(ZNPassword* password) {
  return readNetworkPassword("getHubClientNetworkPassword", 4, "iDepotAgent", password);
}

int ZNPlatformInfo::setHubClientNetworkPassword(ZNPassword* password) {
  return writeNetworkPassword("setHubClientNetworkPassword", 4, "iDepotAgent", password);
}

int ZNPlatformInfo::getMediaNodeNetworkPassword(ZNPassword* password) {
  return readNetworkPassword("getMediaNodeNetworkPassword", 2, "MediaNode", password);
}

int ZNPlatformInfo::setMediaNodeNetworkPassword(ZNPassword* password) {
  return writeNetworkPassword("setMediaNodeNetworkPassword", 2, "MediaNode", password);
}

int ZNPlatformInfo::findNetworkPassword(ZNPassword* password) {
  if (password == nullptr) {
    fail("findNetworkPassword", "Invalid ZNPassword pointer passed as input.");
    return 0;
  }
  const unsigned long type = getZNPlatformType();
  const char* section = nullptr;
  if ((type & 1u) != 0) {
    return getPassword(kPasswordSection, kPasswordValue, password);
  } else if ((type & 2u) != 0) {
    section = "MediaNode";
  } else if ((type & 4u) != 0) {
    section = "iDepotAgent";
  } else {
    fail("findNetworkPassword", kInvalidPlatform);
    return 0;
  }
  if (getPassword(section, kComponentPasswordValue, password) != 0) return 1;
  return getPassword(kPasswordSection, kPasswordValue, password);
}
