// The suite's application agents, kept in one table: each agent type with
// its name, the store section that holds its settings, and the application
// manager's number for it. The agent classes and the update records both
// look agents up here.
#pragma once

namespace zn::detail {

struct AgentRow {
  unsigned int type;
  const char* name;
  const char* section;
  unsigned int amType;  // the application manager's number
};

// Null for a type without a row (or outside 1 to 116).
const AgentRow* FindAgent(unsigned int type);
const AgentRow* FindAgentByAmType(unsigned int amType);

}  // namespace zn::detail
