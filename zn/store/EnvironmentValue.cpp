#include "zn/store/internal/EnvironmentValue.h"

#include <unistd.h>

#include <cstring>

namespace zn::detail {

EnvironmentValue::Seen EnvironmentValue::Look(char** array) {
  // Pointer loads only: no entry's text is read while nothing changed.
  Seen seen;
  seen.array = array;
  if (array == nullptr) return seen;
  uintptr_t sum = 0;
  char** entry = array;
  for (; *entry != nullptr; ++entry) sum += reinterpret_cast<uintptr_t>(*entry);
  seen.count = static_cast<std::size_t>(entry - array);
  seen.sum = sum;
  return seen;
}

const char* EnvironmentValue::get() {
  const Seen now = Look(environ);
  if (m_known && now.array == m_seen.array && now.count == m_seen.count && now.sum == m_seen.sum) return m_value;
  m_value = nullptr;
  for (std::size_t i = 0; i < now.count; ++i) {
    const char* entry = now.array[i];
    if (std::strncmp(entry, m_assignment.data(), m_assignment.size()) == 0) {
      m_value = entry + m_assignment.size();
      break;
    }
  }
  m_seen = now;
  m_known = true;
  return m_value;
}

}  // namespace zn::detail
