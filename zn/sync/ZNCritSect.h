// The older plain critical section.
#pragma once

#include "zn/base/ZnCriticalSection.h"
#include "zn/base/ZnExport.h"

// A plain critical section with lock() and unlock() that always return 0.
class ZN_EXPORT ZNCritSect {
 public:
  ZNCritSect() = default;
  virtual ~ZNCritSect();
  ZNCritSect(const ZNCritSect&) = delete;
  ZNCritSect& operator=(const ZNCritSect&) = delete;

  int lock() {
    m_section.enter(true);
    return 0;
  }
  int unlock() {
    m_section.leave();
    return 0;
  }

 private:
  ZnCriticalSection m_section;
};
