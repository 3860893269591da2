// The buffer itself: creating or opening its mapping and its view.

#include "zn/ipc/SharedProcessBuffer.h"

#include "zn/error/ZnErrorCodes.h"
#include "zn/ipc/internal/KernelObjects.h"
#include "zn/log/EvDebug.h"
#include "zn/sync/NamedKernelObject.h"
#include "zuzazer/FXString.h"

namespace {

constexpr const char* kContext = "SharedProcessBuffer::SharedProcessBuffer";

const char* Printable(const char* name) { return name != nullptr ? name : "(null)"; }

}  // namespace

SharedProcessBuffer::SharedProcessBuffer(const char* name, int size, bool create)
    : m_name(name != nullptr ? name : ""), m_named(!zn::detail::IsUnnamed(name)), m_size(size) {
  if (!m_named) {
    std::unique_ptr<zn::NamedKernelObject> lock;
    if (zn::NamedKernelObject::CreateUnnamed(zn::NamedObjectType::kMutex, zn::NamedObjectInit(), lock) == 0) {
      m_unnamedLock = std::move(lock);
    }
  }
  if (create) {
    this->create();
  } else {
    open();
  }
}

SharedProcessBuffer::~SharedProcessBuffer() = default;

void SharedProcessBuffer::setLastError(const std::string& text, uint32_t number) {
  m_errorText = text;
  m_errorNumber = number;
}

// The set-up runs under the buffer's lock, so that a second creator or an
// opener of the lock never sees a half-made buffer.
void SharedProcessBuffer::create() {
  SyncBufferAccess setUp(*this, true);
  const char* const shown = Printable(m_named ? m_name.c_str() : nullptr);
  std::string text;
  zn::NamedObjectInit init;
  init.mappingSize = m_size > 0 ? static_cast<unsigned long long>(m_size) : 0;
  bool created = false;
  // A paging-file mapping needs a size: 0 and negative sizes are refused.
  const uint32_t error = m_size <= 0 ? zn::kErrorInvalidParameter
                                     : zn::detail::CreateObject(m_name, zn::NamedObjectType::kFileMapping, init,
                                                                true, m_mapping, created);
  if (error != 0) {
    FXString::Format(text, "SharedProcessBuffer::SharedProcessBuffer(348): -Warn--: Failed CreateFileMappingA(%s) errno = %i\n",
                     shown, static_cast<int>(error));
    setLastError(text, error);
    EvDebug().Error(kContext, "Failed CreateFileMappingA(%s) errno = %i", shown, static_cast<int>(error));
    return;
  }
  FXString::Format(text, "Success CreateFileMappingA(%s)\n", shown);
  setLastError(text, created ? 0 : zn::kErrorAlreadyExists);
  EvDebug().DebugLvl(kContext, 5, "Success CreateFileMappingA(%s)", shown);
  // A new mapping is all zeros already, a leftover started afresh too: a
  // fill here would only touch every page.
  const uint32_t mapped = m_mapping->mapView(static_cast<unsigned long long>(m_size), true, m_view);
  if (mapped != 0) {
    FXString::Format(text, "SharedProcessBuffer::SharedProcessBuffer(341): -Warn--: Failed MapViewOfFile(%i) errno = %i\n",
                     m_size, static_cast<int>(mapped));
    setLastError(text, mapped);
    EvDebug().Error(kContext, "Failed MapViewOfFile(%i) errno = %i", m_size, static_cast<int>(mapped));
  }
}

void SharedProcessBuffer::open() {
  const char* const shown = Printable(m_named ? m_name.c_str() : nullptr);
  std::string text;
  const uint32_t error = zn::detail::OpenObject(m_name, zn::NamedObjectType::kFileMapping, m_mapping);
  if (error != 0) {
    FXString::Format(text, "SharedProcessBuffer::SharedProcessBuffer(369): -Warn--: Failed OpenFileMappingA(%s) errno = %i\n",
                     shown, static_cast<int>(error));
    setLastError(text, error);
    EvDebug().Error(kContext, "Failed OpenFileMappingA(%s) errno = %i", shown, static_cast<int>(error));
    return;
  }
  // Size 0 maps the whole mapping; a size beyond it fails here, before any
  // byte is touched.
  const uint32_t mapped = m_size < 0 ? zn::kErrorInvalidParameter
                                     : m_mapping->mapView(static_cast<unsigned long long>(m_size), true, m_view);
  if (mapped != 0) {
    FXString::Format(text, "SharedProcessBuffer::SharedProcessBuffer(362): -Warn--: Failed MapViewOfFile(%i) errno = %i\n",
                     m_size, static_cast<int>(mapped));
    setLastError(text, mapped);
    EvDebug().Error(kContext, "Failed MapViewOfFile(%i) errno = %i", m_size, static_cast<int>(mapped));
  }
}

void* SharedProcessBuffer::GetBuffer() { return m_view.get(); }

const char* SharedProcessBuffer::GetErrStr() { return m_errorText.c_str(); }

unsigned long SharedProcessBuffer::GetLastErrNo() { return m_errorNumber; }

const char* SharedProcessBuffer::GetNameOfMyMapView() { return m_named ? m_name.c_str() : nullptr; }

// ---- SharedProcessBufferSync ----

SharedProcessBufferSync::SharedProcessBufferSync(const char* name, int size, bool create)
    : SharedProcessBuffer(name, size, create) {}

SharedProcessBufferSync::~SharedProcessBufferSync() = default;

const char* SharedProcessBufferSync::GetErrStr() { return SharedProcessBuffer::GetErrStr(); }
