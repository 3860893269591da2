#include "zn/config/internal/AgentTable.h"

#include "zn/config/ZNPI_ApplicationAgent.h"

namespace zn::detail {
namespace {

using Agent = ZNPI_ApplicationAgentBase;

// The suite's agents. Several types share a section: every file-system
// flavour keeps its settings with the file-system agent.
constexpr AgentRow kAgents[] = {
    {Agent::AAT_FILESYSTEM, "File System", "FileSystemAgent", 1001},
    {Agent::AAT_ORACLE, "Oracle", "OracleAgent", 1002},
    {Agent::AAT_DB2, "DB2", "Db2Agent", 1003},
    {Agent::AAT_MSSQL, "SQL Server", "MSSQLAgent", 1004},
    {Agent::AAT_EXCHANGE_DATABASE, "Exchange Database", "ExchangeAgent", 1005},
    {Agent::AAT_EXCHANGE_MAILBOX, "Exchange Mailbox", "ExchangeAgent", 1006},
    {Agent::AAT_SHAREPOINT, "SharePoint", "SharePointAgent", 1007},
    {Agent::AAT_NAS, "NAS", "NASAgent", 1008},
    {Agent::AAT_VIRTUAL_SERVER, "Virtual Server", "VirtualServerAgent", 1009},
    {Agent::AAT_SYBASE, "Sybase", "SybaseAgent", 1010},
    {Agent::AAT_FILESYSTEM_ARCHIVE, "File System Archive", "FileSystemAgent", 1011},
    {Agent::AAT_INFORMIX, "Informix", "InformixAgent", 1012},
    {Agent::AAT_MYSQL, "MySQL", "MySQLAgent", 1013},
    {Agent::AAT_POSTGRESQL, "PostgreSQL", "PostgreSQLAgent", 1014},
    {Agent::AAT_LOTUS_NOTES, "Lotus Notes", "NotesAgent", 1015},
    {Agent::AAT_ACTIVE_DIRECTORY, "Active Directory", "ActiveDirectoryAgent", 1016},
    {Agent::AAT_SAP, "SAP", "SAPAgent", 1017},
    {Agent::AAT_MONGODB, "MongoDB", "MongoDBAgent", 1018},
    {Agent::AAT_CLOUD_APPS, "Cloud Apps", "CloudAppsAgent", 1019},
    {Agent::AAT_LAPTOP, "Laptop", "LaptopAgent", 1020},
    {Agent::AAT_FILESYSTEM_SNAP, "File System Snap", "FileSystemAgent", 1033},
    {Agent::AAT_FILESYSTEM_SCAN, "File System Scan", "FileSystemAgent", 1034},
    {Agent::AAT_FILESYSTEM_CLUSTER, "File System Cluster", "FileSystemAgent", 1042},
    {Agent::AAT_FILESYSTEM_DEDUP, "File System Dedup", "FileSystemAgent", 1043},
};

}  // namespace

const AgentRow* FindAgent(unsigned int type) {
  if (type < 1 || type > Agent::AAT_LAST) return nullptr;
  for (const AgentRow& row : kAgents) {
    if (row.type == type) return &row;
  }
  return nullptr;
}

const AgentRow* FindAgentByAmType(unsigned int amType) {
  for (const AgentRow& row : kAgents) {
    if (row.amType == amType) return &row;
  }
  return nullptr;
}

}  // namespace zn::detail
