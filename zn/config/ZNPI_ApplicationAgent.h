// Application agents: an agent type names the agent's section of the store;
// one table holds the suite's agents (their types, names, sections and the
// application manager's numbers).
#pragma once

#include <string>

#include "zn/base/ZnExport.h"
#include "zn/config/ZNPI_Platform.h"

class ZN_EXPORT ZNPI_ApplicationAgentBase : public ZNPI_HubClient {
 public:
  // The suite's agent types (1 to 116; the ones without a row in the agent
  // table have no section).
  enum ZNPI_ApplicationAgentType : unsigned int {
    AAT_NONE = 0,
    AAT_FILESYSTEM = 1,
    AAT_ORACLE = 2,
    AAT_DB2 = 3,
    AAT_MSSQL = 4,
    AAT_EXCHANGE_DATABASE = 5,
    AAT_EXCHANGE_MAILBOX = 6,
    AAT_SHAREPOINT = 7,
    AAT_NAS = 8,
    AAT_VIRTUAL_SERVER = 9,
    AAT_SYBASE = 10,
    AAT_FILESYSTEM_ARCHIVE = 11,
    AAT_INFORMIX = 12,
    AAT_MYSQL = 13,
    AAT_POSTGRESQL = 14,
    AAT_LOTUS_NOTES = 15,
    AAT_ACTIVE_DIRECTORY = 16,
    AAT_SAP = 17,
    AAT_MONGODB = 18,
    AAT_CLOUD_APPS = 19,
    AAT_LAPTOP = 20,
    AAT_FILESYSTEM_SNAP = 33,
    AAT_FILESYSTEM_SCAN = 34,
    AAT_FILESYSTEM_CLUSTER = 42,
    AAT_FILESYSTEM_DEDUP = 43,
    AAT_LAST = 116,
  };

  explicit ZNPI_ApplicationAgentBase(unsigned int agentType, EvDebug* log = nullptr);

  // The agent's section, or "" for a type without one.
  const std::string& getAgentSection() const { return m_agentSection; }
  // Null when the type has no section or the value is unreadable.
  const char* getAgentDirectory(const char* client = nullptr);
  const char* getAgentVersion(const char* client = nullptr);
  // "nINSTALL" below "Machines\<client>\<agent section>", cached.
  unsigned long getAgentInstallStatus(const char* client, bool refresh = false);
  bool isAgentInstallActive(const char* client);
  bool isAgentInstallFailed(const char* client);
  bool isAgentInstallInactive(const char* client);

  unsigned int getClassEnumAAT() const { return m_agentType; }
  unsigned int getClassAMAAT() const { return convertEnumToAMAAT(m_agentType); }
  // The agent's name for a type ("" for types without a row).
  static std::string getAATName(unsigned int agentType);
  // The application manager numbers the agents its own way.
  static unsigned int convertAMToEnumAAT(unsigned int amType);
  static unsigned int convertEnumToAMAAT(unsigned int agentType);

  // Install states of "nINSTALL".
  static constexpr unsigned long kInstallInactive = 0;
  static constexpr unsigned long kInstallActive = 1;
  static constexpr unsigned long kInstallFailed = 2;

 private:
  bool invalidApplicationAgentType() const { return m_agentSection.empty(); }

  unsigned int m_agentType;
  std::string m_agentSection;
  zn::detail::ComponentValues m_agent;
  std::string m_directory, m_version;
  uint32_t m_installStatus = 0;
  bool m_installRead = false;
};

// One class per agent of the suite, each fixing its type.
template <unsigned int AgentType>
class ZNPI_ApplicationAgent : public ZNPI_ApplicationAgentBase {
 public:
  explicit ZNPI_ApplicationAgent(EvDebug* log = nullptr) : ZNPI_ApplicationAgentBase(AgentType, log) {}
};

using ZNPI_FileSystemAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_FILESYSTEM>;
using ZNPI_OracleAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_ORACLE>;
using ZNPI_DB2Agent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_DB2>;
using ZNPI_MSSQLAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_MSSQL>;
using ZNPI_ExchangeDatabaseAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_EXCHANGE_DATABASE>;
using ZNPI_ExchangeMailboxAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_EXCHANGE_MAILBOX>;
using ZNPI_SharePointAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_SHAREPOINT>;
using ZNPI_NASAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_NAS>;
using ZNPI_VirtualServerAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_VIRTUAL_SERVER>;
using ZNPI_SybaseAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_SYBASE>;
using ZNPI_InformixAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_INFORMIX>;
using ZNPI_MySQLAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_MYSQL>;
using ZNPI_PostgreSQLAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_POSTGRESQL>;
using ZNPI_LotusNotesAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_LOTUS_NOTES>;
using ZNPI_ActiveDirectoryAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_ACTIVE_DIRECTORY>;
using ZNPI_SAPAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_SAP>;
using ZNPI_MongoDBAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_MONGODB>;
using ZNPI_CloudAppsAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_CLOUD_APPS>;
using ZNPI_LaptopAgent = ZNPI_ApplicationAgent<ZNPI_ApplicationAgentBase::AAT_LAPTOP>;
