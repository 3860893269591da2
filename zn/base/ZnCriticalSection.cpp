#include "zn/base/ZnCriticalSection.h"

void ZnCriticalSectionLock::reset(ZnCriticalSection* cs) {
  if (m_cs != nullptr) m_cs->leave();
  m_cs = cs;
  if (m_cs != nullptr) m_cs->enter(true);
}

ZnCriticalSectionTryLock::ZnCriticalSectionTryLock(ZnCriticalSection* cs) {
  if (cs != nullptr && cs->enter(false)) m_cs = cs;
}

ZnCriticalSectionTryLock::~ZnCriticalSectionTryLock() {
  if (m_cs != nullptr) m_cs->leave();
}
