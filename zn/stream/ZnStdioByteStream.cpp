#include <cctype>
#include <string>
#include <utility>

#include "zn/stream/ZnByteStream.h"
#include "zn/stream/internal/StreamError.h"
#include "zuzazer/FXFile.h"

using zn::detail::ThrowStreamError;

namespace {

constexpr const char* kStream = "ZnStdioByteStream";

struct OpenMode {
  bool readable = false;
  bool writable = false;
};

OpenMode ParseMode(const char* mode) {
  if (mode == nullptr) mode = "rw";
  OpenMode parsed;
  for (const char* c = mode; *c != '\0'; ++c) {
    switch (std::tolower(static_cast<unsigned char>(*c))) {
      case 'r': parsed.readable = true; break;
      case 'w': parsed.writable = true; break;
      default: ThrowStreamError(kStream, std::string("Illegal mode '") + mode + "' passed as input.");
    }
  }
  return parsed;
}

FXFile::EFXFileDisposition DispositionFor(const OpenMode& mode) {
  if (mode.readable && mode.writable) return FXFile::eFXOpenAlways;
  if (mode.readable) return FXFile::eFXOpenExisting;
  return FXFile::eFXCreateAlways;
}

// A duplicate of `fd`, or a closed holder for a closed stream.
yq::UniqueFd DuplicateOf(int fd) {
  yq::UniqueFd copy;
  if (fd >= 0 && FXFile::Duplicate(fd, copy).IsError()) ThrowStreamError(kStream, "Couldn't duplicate handle");
  return copy;
}

}  // namespace

ZnStdioByteStream::ZnStdioByteStream(const char* path, const char* mode) {
  const OpenMode parsed = ParseMode(mode);
  const std::string name = path != nullptr ? path : "";
  const unsigned access = (parsed.readable ? FXFile::kAccessRead : 0u) | (parsed.writable ? FXFile::kAccessWrite : 0u);
  const CYqError error = FXFile::Create(name, access, FXFile::kShareRead | FXFile::kShareWrite,
                                        DispositionFor(parsed), m_handle);
  if (error.IsError()) ThrowStreamError(kStream, error, "Couldn't open " + name + ": ");
  m_path = name;
  m_readable = parsed.readable;
  m_writable = parsed.writable;
}

ZnStdioByteStream::ZnStdioByteStream(void* handle) {
  const int fd = FXFile::DescriptorFromHandle(handle);
  if (fd < 0 || FXFile::Duplicate(fd, m_handle).IsError()) ThrowStreamError(kStream, "Couldn't duplicate handle");
  m_readable = true;
  m_writable = true;
}

ZnStdioByteStream::ZnStdioByteStream(const ZnStdioByteStream& other)
    : ZnByteStream(other),
      m_path(other.m_path),
      m_handle(DuplicateOf(other.m_handle.get())),
      m_readable(other.m_readable),
      m_writable(other.m_writable) {}

ZnStdioByteStream& ZnStdioByteStream::operator=(const ZnStdioByteStream& other) {
  if (this != &other) {
    yq::UniqueFd handle = DuplicateOf(other.m_handle.get());
    std::string path = other.m_path;
    m_handle = std::move(handle);
    m_path = std::move(path);
    m_readable = other.m_readable;
    m_writable = other.m_writable;
  }
  return *this;
}

ZnStdioByteStream::~ZnStdioByteStream() { close(); }

int ZnStdioByteStream::read(void* buffer, int count) {
  constexpr const char* kRead = "ZnStdioByteStream::read";
  if (!m_readable) ThrowStreamError(kRead, "The stream has not been open for reading.");
  if (count < 1) return 0;
  if (buffer == nullptr) ThrowStreamError(kRead, zn::detail::kInvalidBuffer);
  std::size_t done = 0;
  const CYqError error = FXFile::Read(m_handle.get(), buffer, static_cast<std::size_t>(count), done);
  if (error.IsError()) ThrowStreamError(kRead, error);
  return static_cast<int>(done);
}

int ZnStdioByteStream::write(const void* data, int count) {
  constexpr const char* kWrite = "ZnStdioByteStream::write";
  if (!m_writable) ThrowStreamError(kWrite, "The stream has not been open for writing.");
  if (count < 1) return 0;
  if (data == nullptr) ThrowStreamError(kWrite, zn::detail::kInvalidBuffer);
  std::size_t done = 0;
  const CYqError error = FXFile::Write(m_handle.get(), data, static_cast<std::size_t>(count), done);
  if (error.IsError()) ThrowStreamError(kWrite, error);
  return static_cast<int>(done);
}

void ZnStdioByteStream::seek(long long offset, int whence) {
  const int method = whence == 0 || whence == 1 ? whence : 2;
  long long position = 0;
  const CYqError error = FXFile::SetPointer(m_handle.get(), offset, method, position);
  if (error.IsError()) ThrowStreamError("ZnStdioByteStream::seek", error);
}

long long ZnStdioByteStream::tell() const {
  long long position = 0;
  const CYqError error = FXFile::SetPointer(m_handle.get(), 0, 1, position);
  if (error.IsError()) ThrowStreamError("ZnStdioByteStream::tell", error);
  return position;
}

void ZnStdioByteStream::truncate(long long size) {
  const CYqError error = FXFile::SetLength(m_handle.get(), size);
  if (error.IsError()) ThrowStreamError("ZnStdioByteStream::truncate", error);
}

void ZnStdioByteStream::close() {
  m_handle.reset();
  m_path.clear();
}
