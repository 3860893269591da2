// The priority class and creation flags of a start, from the store.
#include <string_view>

#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/EvDebug.h"
#include "zn/process/ZnProcess.h"
#include "zn/process/internal/CommandLine.h"

namespace {

constexpr std::size_t kMaxValueNameLength = 1023;

bool ReadSessionNumber(ZNPlatformInfo& store, const std::string& name, unsigned long& value) {
  return store.getNumber("Session", name.c_str(), &value) != 0;
}

// The program's name as the priority values know it: its file name, cut
// before the first '.' (and before a blank: Linux programs have no
// extension, and a command line may follow).
std::string ProcessNameOf(std::string_view command) {
  std::string_view name = zn::detail::CommandTail(command);
  name = name.substr(0, name.find_first_of(". \t"));
  return std::string(name);
}

}  // namespace

bool IsConsoleNeededForCommand(const char* command) {
  if (command == nullptr) return false;
  std::string_view name = zn::detail::CommandTail(command);
  name = name.substr(0, name.find(' '));
  if (!name.empty() && name.back() == '"') name.remove_suffix(1);
  std::string valueName = std::string(name) + "_CreateWindow";
  if (valueName.size() > kMaxValueNameLength) valueName.resize(kMaxValueNameLength);
  ZNPlatformInfo store(0, 0);
  unsigned long value = 0;
  return ReadSessionNumber(store, valueName, value) && value != 0;
}

unsigned long GetOSLevelPriority(std::string& priorityName, unsigned long& creationFlags, const char* command,
                                 int defaultLevel) {
  ZNPlatformInfo store(0, 0);
  creationFlags = DETACHED_PROCESS;
  unsigned long noWindow = 0;
  if (ReadSessionNumber(store, "nProcessCreationUseNoWindowFlag", noWindow) && noWindow != 0) {
    creationFlags = CREATE_NO_WINDOW;
  } else if (IsConsoleNeededForCommand(command)) {
    EvDebug().DebugLvl("GetOSLevelPriority", 0, "Setting CREATE_NEW_CONSOLE flag for:%s", command);
    creationFlags = CREATE_NEW_CONSOLE;
  }

  unsigned long level = 0;
  const std::string name = command != nullptr ? ProcessNameOf(command) : std::string();
  if (!(!name.empty() && ReadSessionNumber(store, name + "_PRIORITY", level)) &&
      !ReadSessionNumber(store, "PROCESS_PRIORITY", level)) {
    unsigned long laptop = 0;
    if (store.getNumber("FileSystemAgent", "nLaptopAgent", &laptop) != 0 && laptop != 0) {
      level = 1;
    } else {
      level = defaultLevel >= 0 && defaultLevel <= 2 ? static_cast<unsigned long>(defaultLevel) : 0;
    }
  }
  switch (level) {
    case 1: priorityName = "Below Normal"; return BELOW_NORMAL_PRIORITY_CLASS;
    case 2: priorityName = "High"; return HIGH_PRIORITY_CLASS;
    default: priorityName = "Normal"; return NORMAL_PRIORITY_CLASS;
  }
}

int NiceValueForPriorityClass(unsigned long priorityClass) {
  switch (priorityClass) {
    case BELOW_NORMAL_PRIORITY_CLASS: return 10;
    case HIGH_PRIORITY_CLASS: return -10;
    default: return 0;
  }
}
