#include "zn/config/ZNPI_ApplicationAgent.h"

#include "zn/config/internal/AgentTable.h"

using zn::detail::AgentRow;
using zn::detail::FindAgent;


ZNPI_ApplicationAgentBase::ZNPI_ApplicationAgentBase(unsigned int agentType, EvDebug* log)
    : ZNPI_HubClient(log),
      m_agentType(agentType),
      m_agentSection(FindAgent(agentType) != nullptr ? FindAgent(agentType)->section : ""),
      m_agent(m_agentSection.c_str()) {}

const char* ZNPI_ApplicationAgentBase::getAgentDirectory(const char* /*client*/) {
  if (invalidApplicationAgentType()) return nullptr;
  return m_agent.cachedDirectory(m_base, "dHOME", m_directory);
}

const char* ZNPI_ApplicationAgentBase::getAgentVersion(const char* /*client*/) {
  if (invalidApplicationAgentType()) return nullptr;
  return m_agent.cachedText(m_base, "sVERSION", m_version);
}

unsigned long ZNPI_ApplicationAgentBase::getAgentInstallStatus(const char* client, bool refresh) {
  if (invalidApplicationAgentType() || client == nullptr || client[0] == '\0') return kInstallInactive;
  if (!m_installRead || refresh) {
    unsigned long status = kInstallInactive;
    const std::string section = std::string("Machines\\") + client + "\\" + m_agentSection;
    if (m_base.getNumber(section.c_str(), "nINSTALL", &status) == 0) m_agent.recordFailure(m_base);
    m_installStatus = static_cast<uint32_t>(status);
    m_installRead = true;
  }
  return m_installStatus;
}

bool ZNPI_ApplicationAgentBase::isAgentInstallActive(const char* client) {
  return getAgentInstallStatus(client) == kInstallActive;
}

bool ZNPI_ApplicationAgentBase::isAgentInstallFailed(const char* client) {
  return getAgentInstallStatus(client) == kInstallFailed;
}

bool ZNPI_ApplicationAgentBase::isAgentInstallInactive(const char* client) {
  return getAgentInstallStatus(client) == kInstallInactive;
}

std::string ZNPI_ApplicationAgentBase::getAATName(unsigned int agentType) {
  const AgentRow* row = FindAgent(agentType);
  return row != nullptr ? row->name : "";
}

unsigned int ZNPI_ApplicationAgentBase::convertAMToEnumAAT(unsigned int amType) {
  const AgentRow* row = zn::detail::FindAgentByAmType(amType);
  return row != nullptr ? row->type : AAT_NONE;
}

unsigned int ZNPI_ApplicationAgentBase::convertEnumToAMAAT(unsigned int agentType) {
  const AgentRow* row = FindAgent(agentType);
  return row != nullptr ? row->amType : 0;
}
