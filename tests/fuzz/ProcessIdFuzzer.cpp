// Process identifier texts of any content: setIdString either refuses them
// and leaves the object as it was, or takes three numbers whose text form
// reads back to the same identifier.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "zn/util/ZNProcessId.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ZNProcessId id;
  if (id.setIdString(text.c_str()) != 0) {
    if (id.isInitialized()) std::abort();
    return 0;
  }
  std::string form;
  if (id.getIdString(form) != 0) std::abort();
  ZNProcessId again;
  if (again.setIdString(form.c_str()) != 0 || !(again == id)) std::abort();
  std::string second;
  if (again.getIdString(second) != 0 || second != form) std::abort();
  return 0;
}
