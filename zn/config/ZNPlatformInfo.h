// Typed access to the machine's configuration store: sections and values
// of the installed instance the process is focused on, and absolute keys.
// Results: int operations 1 on success and 0 on failure, bool ones true on
// success; getRegError() tells why (0, -1 failure, -2 no such key, -3 no
// such value, -4 buffer too small). Only -1 is logged.
// An object keeps its last error and the last key it expanded, so it is
// used by one thread at a time; threads share the store, not the objects.
#pragma once

#include <list>
#include <map>
#include <string>
#include <vector>

#include "zn/base/ZnExport.h"
#include "zn/store/ConfigStore.h"
#include "zn/store/StoreKeys.h"

class EvDebug;
class ZNPassword;

// A key of the store as the handle-taking calls see it: its full path (as
// expandKeyName gives it).
struct ZN_EXPORT ZnRegKey {
  std::string path;
};
using HKEY = const ZnRegKey*;

// The size of the service-pack name and update buffers of the update records.
inline constexpr int kZnPatchTextSize = 1024;

class ZN_EXPORT ZNPlatformInfo {
 public:
  // ORed into the access of every key opened; kept for callers that set it.
  static int Reg_Additional_Flags;

  ZNPlatformInfo();
  ZNPlatformInfo(int consoleEcho, int logEcho);
  explicit ZNPlatformInfo(EvDebug* log);
  explicit ZNPlatformInfo(const std::string& instance);
  ZNPlatformInfo(const ZNPlatformInfo& other);
  ZNPlatformInfo& operator=(const ZNPlatformInfo& other);
  ~ZNPlatformInfo();

  // ---- Focus and errors ----
  int setFocus(const char* instance);
  void setToDefaultFocus();
  const char* getFocus() const { return m_focus.c_str(); }
  const char* getProductName() const;
  void setEvent(EvDebug* log) { m_log = log; }
  int getRegError() const { return m_regError; }
  unsigned long getLastError() const { return m_lastError; }
  std::string getLastErrorMsg() const { return m_lastErrorMsg; }

  // ---- Section-level values (null section: the instance key) ----
  int getString(const char* section, const char* name, char* buf, int* size);
  int getString(const char* section, const char* name, char* buf, int size);
  int getString(const char* section, const char* name, std::string* out);
  int getStringTrim(const char* section, const char* name, std::string* out);
  int getStringList(const char* section, const char* name, std::vector<std::string>& out,
                    std::vector<std::string>* separators);
  int getMultiString(const char* section, const char* name, char* buf, int* size);
  int getDirectory(const char* section, const char* name, char* buf, int* size);
  int getDirectory(const char* section, const char* name, std::string* out);
  int getNumber(const char* section, const char* name, unsigned long* out);
  int getNumber(const char* section, const char* name, int* out);
  int getNumber(const char* section, const char* name, unsigned int* out);
  int getNumber(const char* section, const char* name, long* out);
  int getBoolean(const char* section, const char* name, bool* out);
  int getLongLong(const char* section, const char* name, unsigned long long* out);
  int setString(const char* section, const char* name, const char* value);
  int setString(const char* section, const char* name, const char* value, int ignored);
  int setString(const char* section, const char* name, const std::string& value);
  int setNumber(const char* section, const char* name, unsigned long value);
  int setBoolean(const char* section, const char* name, bool value);
  int setLongLong(const char* section, const char* name, unsigned long long value);
  int setMultiString(const char* section, const char* name, const char* value, int length);
  int setDirectory(const char* section, const char* name, const char* value, int length);
  int getPassword(const char* section, const char* name, ZNPassword* password);
  int setPassword(const char* section, const char* name, ZNPassword* password);
  int deleteField(const char* section, const char* name);
  int deleteSection(const char* section);
  bool getSubKeys(const char* section, std::list<std::string>* out);
  std::string getSectionName(const char* parent, const char* child);

  // ---- The same with std::string names ----
  int getValue(const std::string& section, const std::string& name, unsigned long& out);
  int getValue(const std::string& section, const std::string& name, unsigned long long& out);
  int getValue(const std::string& section, const std::string& name, ZNPassword& out);
  // Without a default a failed read fails; with one, the default is written
  // to the store and returned.
  int getValue(const std::string& section, const std::string& name, std::string& out,
               const char* defaultValue = nullptr);
  int getValue(const std::string& section, const std::string& name, char* buf, int& size,
               const char* defaultValue = nullptr);
  // The data of every value of the section, as text.
  int getValue(const std::string& section, std::list<std::string>& out);
  int getValue(const std::string& section, std::vector<std::string>& out);
  int setValue(const std::string& section, const std::string& name, const std::string& value);
  int setValue(const std::string& section, const std::string& name, const char* value, int length);
  int setValue(const std::string& section, const std::string& name, unsigned long value);
  int setValue(const std::string& section, const std::string& name, unsigned long long value);
  int setValue(const std::string& section, const std::string& name, ZNPassword& value);

  // ---- Keys: relative ("~section") or absolute ----
  std::string expandKeyName(const char* key);
  bool getRegValue(const char* key, const char* name, unsigned long* type, void* data, int& size);
  bool getRegValue(const char* key, const wchar_t* name, unsigned long* type, void* data, int& size);
  bool getRegInt(const char* key, const char* name, int* out);
  bool setRegValue(const char* key, const char* name, unsigned long type, const void* data, int length);
  bool setRegString(const char* key, const char* name, const char* value);
  bool setRegInt(const char* key, const char* name, int value);
  bool getRegValues(const char* key, std::map<std::string, std::string>* out);
  bool getRegSubKeysFromAbsPath(const char* key, std::list<std::string>* out);
  bool createRegKey(const char* key);
  bool delRegField(const char* key, const char* name);
  bool delRegKey(const char* key);
  bool copyRegKey(const char* from, const char* to);
  bool copyRegKey(std::string& from, std::string& to);
  bool copyRegKey(const char* fromSub, const char* toSub, const char* fromRoot, const char* toRoot);
  bool copyRegKeyValues(HKEY from, HKEY to);
  bool renameRegKey(const char* from, const char* to);
  bool renameRegKey(std::string& from, std::string& to);

  // ---- The central server and the clients, as this machine knows them ----
  // Buffers must hold at least 256 bytes. A non-empty `remoteCell` reads
  // below "RemoteHubServes\<cell>" instead.
  int getHubServerHostName(char* buf, int size, const std::string& remoteCell = std::string());
  int getHubServerClientName(char* buf, int size, const std::string& remoteCell = std::string());
  int getHubServerDisplayName(char* buf, int size, const std::string& remoteCell = std::string());
  int getHubClientHSHostName(char* buf, int size);
  int getHubClientHSClientName(char* buf, int size);
  int getMediaNodeHSHostName(char* buf, int size);
  int getMediaNodeHSClientName(char* buf, int size);
  int findHubServerHostName(char* buf, int size);
  int findHubServerClientName(char* buf, int size);
  int findHubServerGUID(std::string& out);
  int getClientHostName(const char* client, char* buf, int size);
  int getClientHostName(const char* client, std::string& out);
  int getClientGUID(const char* client, std::string& out);
  int getClientList(std::list<std::string>& out);
  int setClientHostName(const char* client, const char* host);
  bool isClusterGroupClient(const char* client);

  // ---- The password this machine authenticates with ----
  int getHubServerNetworkPassword(ZNPassword* password);
  int setHubServerNetworkPassword(ZNPassword* password);
  int getHubClientNetworkPassword(ZNPassword* password);
  int setHubClientNetworkPassword(ZNPassword* password);
  int getMediaNodeNetworkPassword(ZNPassword* password);
  int setMediaNodeNetworkPassword(ZNPassword* password);
  int findNetworkPassword(ZNPassword* password);

  // ---- The instance ----
  int createPlatformInfo();
  int deletePlatformInfo();
  int GetAllInInstances(std::vector<std::string>& out);

  // ---- Well-known values ----
  unsigned long getZNPlatformType();
  int GetLanguageID();
  int getAppDebugLevel(const char* app);
  void getProductVersion(std::string& out);
  std::string getComputeID();
  const char* getPhysicalMachine();
  const std::string& getServicePackText() const { return m_servicePack; }

  // ---- Product: features, scale-compute role, packages, update records ----
  // 1 when "Features"/`feature` reads as a non-zero number.
  int IsFeatureEnabled(const char* feature);
  // The instance's "sComputeID" is a non-empty text.
  bool isScaleCompute();
  // ... and "ZnScale"/"sScaleSetID" is one too.
  bool isProperScaleCompute();
  // Appends the ids of the subkeys of "InstalledPackages" whose
  // "sInstallState" is "Installed" (any case); 0 when they cannot be listed.
  int GetListOfInstalledPackages(std::vector<int>& out);
  bool IsThisPackageInstalled(int id);
  // The update text of the record of a component (1000 and above) or agent
  // type; the layout is described in ZNPlatformInfoProduct.cpp.
  const char* getPatchList(int type);
  // `sp` and `patches` must hold kZnPatchTextSize bytes; longer texts are cut.
  int GetHighestSPAndItsPatches(char* key, char* sp, char* patches);
  int GetPatchSPFromReg(char* key);
  int GetPatchesOnly(char* key);
  int UpdatePatchList(char* key, char* patches);

 protected:
  void setRegError(int code) { m_regError = code; }
  // A stored list text split by every separator in turn, as getStringList
  // splits it.
  static std::vector<std::string> SplitStoredList(const std::string& text, const std::vector<std::string>& separators);

 private:
  // "~section" (a section given with its "~" as it is), made without the
  // heap for the usual short names: every typed getter builds one.
  class SectionKeyText {
   public:
    explicit SectionKeyText(const char* section);
    SectionKeyText(const SectionKeyText&) = delete;
    SectionKeyText& operator=(const SectionKeyText&) = delete;
    const char* c_str() const { return m_text; }
    operator std::string() const { return m_text; }

   private:
    const char* m_text;
    char m_inline[64];
    std::string m_long;
  };
  static SectionKeyText SectionKey(const char* section) { return SectionKeyText(section); }
  // expandKeyName of `key`, kept until the next key, the object's focus or
  // the process's remote cell or product type changes: a component reads
  // the same key again and again. Null when the key cannot be expanded.
  const std::string* expandedKey(const char* key);
  // The store's key of value `name` under expandedKey(key), kept with it
  // until either changes: a repeated read hands the store a key it need
  // not build or hash again. Null when the key cannot be expanded;
  // `name` is not null.
  const zn::ConfigStore::ValueKey* expandedValueKey(const char* key, const char* name);
  void logError(const char* context, const std::string& message);
  // Logs `message`, sets the error code to -1 and returns false.
  bool fail(const char* context, const std::string& message);
  // Reads the value of an expanded key; the not-found codes are silent.
  bool readStoredValue(const zn::ConfigStore::ValueKey& key, zn::StoreValue& value);
  // The registry error of a store result: true for success; -2 or -3
  // (quiet) for a missing key or value; otherwise `failure` and the
  // store's own text are logged under `context`.
  bool storeResult(zn::StoreStatus status, const char* context, const std::string& failure);
  bool readString(const char* key, const char* name, std::string& out, const char* context);
  bool readNumber(const char* key, const char* name, unsigned long& out, const char* context);
  bool getSubKeysImpl(const char* key, std::list<std::string>* out, const char* context);
  int getSectionValues(const std::string& section, std::vector<std::string>& out);
  int readIdentity(const char* context, unsigned long requiredBit, const char* section, const char* fallbackSection,
                   const char* name, char* buf, int size, const std::string& remoteCell);
  int readNetworkPassword(const char* context, unsigned long requiredBit, const char* section, ZNPassword* password);
  int writeNetworkPassword(const char* context, unsigned long requiredBit, const char* section, ZNPassword* password);

  int m_consoleEcho = 0;
  int m_logEcho = 1;
  int m_regError = 0;
  std::string m_lastErrorMsg;
  unsigned long m_lastError = 0;
  std::string m_productName;
  std::string m_physicalMachine;
  std::string m_focus;
  struct ExpandedKey {
    bool valid = false;
    std::string key;
    const char* remoteCell = nullptr;  // the focus library's text: a new value is a new text
    bool productHasInstances = true;
    std::string path;
    // Of the last value read under `path`: valid only while `path` is.
    bool valueKeyValid = false;
    zn::ConfigStore::ValueKey valueKey;
  };
  ExpandedKey m_expanded;  // of expandedKey and expandedValueKey
  std::string m_servicePack;
  std::string m_updates;
  EvDebug* m_log = nullptr;
};

// Whether the process's default instance is a scale-out compute node.
ZN_EXPORT bool isScaleCompute();
