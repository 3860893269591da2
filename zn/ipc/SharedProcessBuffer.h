// Named shared-memory buffers through which cooperating processes of one
// machine exchange fixed-size data, with an optional named lock around the
// access (SyncBufferAccess: the mutex "<map name>.qvlock") and an optional
// named automatic event for signalling ("<name>.qvevent", or
// "<name>.qvevent.SessionID.<id>").
//
//   SharedProcessBufferWithSignal buffer("Jobs.Status", 4096, true);
//   {
//     SyncBufferAccess access(buffer, true);   // locked until it goes
//     std::memcpy(access.GetBuffer(), &status, sizeof status);
//   }
//   buffer.setEvent();                          // wakes one waiter
//
// A creator of a new buffer sees zeros; a second creator of the same name
// shares the existing bytes. Every local user may read and write a buffer,
// its event and its mapping (as on the Windows original platform: keep no secret
// in one); its lock is for the creator's user only. An object lives while
// some process uses it: the last one to close removes it, and a creator
// that finds only what killed users left starts it afresh.
//
// Nothing throws: failures leave a null buffer or false results, and the
// text and number of the last error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zn/base/ZnExport.h"
#include "zuzazer/FXUniqueMapping.h"

namespace zn {
class NamedKernelObject;
}

class SyncBufferAccess;

class ZN_EXPORT SharedProcessBuffer {
 public:
  // Creates (or, when it exists, opens) the buffer `name` of `size` bytes
  // when `create` is set; else opens an existing one and maps `size` bytes
  // of it (0: all of it). A null or empty name makes a buffer without a
  // name, shared with forked children only.
  SharedProcessBuffer(const char* name, int size, bool create);
  virtual ~SharedProcessBuffer();
  SharedProcessBuffer(const SharedProcessBuffer&) = delete;
  SharedProcessBuffer& operator=(const SharedProcessBuffer&) = delete;

  // The mapped bytes; null when the buffer could not be had.
  void* GetBuffer();
  const char* GetErrStr();
  unsigned long GetLastErrNo();

 protected:
  // Null for a buffer without a name.
  const char* GetNameOfMyMapView();
  void setLastError(const std::string& text, uint32_t number);
  void setLastErrorNumber(uint32_t number) { m_errorNumber = number; }

 private:
  friend class SyncBufferAccess;
  void create();
  void open();

  std::string m_name;
  bool m_named = false;
  int m_size = 0;
  std::unique_ptr<zn::NamedKernelObject> m_mapping;
  // A buffer without a name has no lock name either: its lock is its own.
  std::shared_ptr<zn::NamedKernelObject> m_unnamedLock;
  yq::UniqueMapping m_view;
  std::string m_errorText;
  uint32_t m_errorNumber = 0;
};

// A buffer whose access goes through SyncBufferAccess.
class ZN_EXPORT SharedProcessBufferSync : public SharedProcessBuffer {
 public:
  SharedProcessBufferSync(const char* name, int size, bool create);
  ~SharedProcessBufferSync() override;
  const char* GetErrStr();
};

// The buffer's named automatic event, created (or opened) whatever the
// buffer's create flag, not signalled at first.
class ZN_EXPORT SharedProcessBufferWithSignal_Base : public SharedProcessBufferSync {
 public:
  ~SharedProcessBufferWithSignal_Base() override;

 protected:
  SharedProcessBufferWithSignal_Base(const char* eventName, const char* mapName, int size, bool create);
  zn::NamedKernelObject* event() const { return m_event.get(); }

 private:
  std::unique_ptr<zn::NamedKernelObject> m_event;
};

class ZN_EXPORT SharedProcessBufferWithSignal : public SharedProcessBufferWithSignal_Base {
 public:
  // Map `name`, event "<name>.qvevent".
  SharedProcessBufferWithSignal(const char* name, int size, bool create);
  // Map `name`, event "<name>.qvevent.SessionID.<sessionId>".
  SharedProcessBufferWithSignal(unsigned long sessionId, const char* name, int size, bool create);
  // Both names given.
  SharedProcessBufferWithSignal(const char* eventName, const char* mapName, int size, bool create);
  ~SharedProcessBufferWithSignal() override;

  // False when there is no event.
  virtual bool setEvent();
  virtual bool resetEvent();
  // Releases one thread waiting now, if any; nothing is kept for later.
  virtual bool pulseEvent();
  // Without other handles, waits for the event; else for the event and the
  // `count` handles (ZNSemaphorUtil's), for all of them when `waitAll` is
  // non-zero, else for any. Waits without limit. True when the event (or,
  // waiting for all, everything) was signalled; false otherwise, with the
  // wait's result as last error number (the index of the handle signalled
  // first, 0x80 plus it for an abandoned mutex, 0xFFFFFFFF for a failed
  // wait) and its text.
  virtual bool waitForEvent(void** handles, unsigned long count, int waitAll);
};

// Holds the buffer's lock: the named mutex "<map name>.qvlock", recursive
// for its thread. A holder killed while it holds the lock leaves it
// abandoned: the next Lock() gets it (last error number 735).
class ZN_EXPORT SyncBufferAccess {
 public:
  SyncBufferAccess(SharedProcessBuffer& buffer, bool lockNow);
  virtual ~SyncBufferAccess();
  SyncBufferAccess(const SyncBufferAccess&) = delete;
  SyncBufferAccess& operator=(const SyncBufferAccess&) = delete;

  // Waits without limit; true when locked.
  bool Lock();
  // A release that fails (another thread's lock: 288) leaves it locked.
  bool Unlock();
  bool IsLock();
  void* GetBuffer();
  unsigned long GetLastErrNo();

 private:
  SharedProcessBuffer& m_buffer;
  std::string m_lockName;
  std::shared_ptr<zn::NamedKernelObject> m_mutex;
  bool m_locked = false;
  uint32_t m_lastError = 0;
};
