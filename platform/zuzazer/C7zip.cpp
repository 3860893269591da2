#include "zuzazer/C7zip.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/YqWin32Errors.h"

namespace yq {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

struct ArchiveReadFree {
  void operator()(struct archive* a) const { archive_read_free(a); }
};
struct ArchiveWriteFree {
  void operator()(struct archive* a) const { archive_write_free(a); }
};
struct ArchiveEntryFree {
  void operator()(struct archive_entry* e) const { archive_entry_free(e); }
};
using ArchiveReader = std::unique_ptr<struct archive, ArchiveReadFree>;
using ArchiveWriter = std::unique_ptr<struct archive, ArchiveWriteFree>;
using ArchiveEntry = std::unique_ptr<struct archive_entry, ArchiveEntryFree>;

// Removes a temporary file unless it was renamed into place. Names are
// relative to `folder` (a descriptor of it, or AT_FDCWD for paths).
class TemporaryFile {
 public:
  TemporaryFile(int folder, const std::string& finalName) : m_folder(folder) {
    static std::atomic<unsigned> counter{0};
    m_name = finalName + "." + std::to_string(::getpid()) + "." + std::to_string(::gettid()) + "." +
             std::to_string(counter.fetch_add(1)) + ".tmp";
  }
  ~TemporaryFile() {
    if (!m_committed) ::unlinkat(m_folder, m_name.c_str(), 0);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& name() const { return m_name; }
  // Creates it, never through a link.
  int Create(mode_t mode) const {
    return ::openat(m_folder, m_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  }
  // Gives it its final name, replacing whatever had that name (a link
  // itself, never what it points at).
  CYqError Commit(const std::string& finalName) {
    if (::renameat(m_folder, m_name.c_str(), m_folder, finalName.c_str()) != 0) {
      return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot move [%s] to [%s]", m_name.c_str(),
                                     finalName.c_str());
    }
    m_committed = true;
    return CYqError::Success();
  }

 private:
  int m_folder;
  std::string m_name;
  bool m_committed = false;
};

const char* ReasonOf(struct archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? text : "unknown archive error";
}

CYqError DamagedArchive(const FXCodeLocation& location, const std::string& archive, struct archive* a) {
  return FXErrorUtil::ErrorWin32(location, yq::kErrorInvalidData, "Cannot read archive [%s]: %s", archive.c_str(),
                                 ReasonOf(a));
}

CYqError WriteAll(int fd, const char* data, std::size_t size, const std::string& path) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot write [%s]", path.c_str());
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return CYqError::Success();
}

// Reads up to `size` bytes, fewer only at the end of the file.
ssize_t ReadFull(int fd, char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// An entry's name as a path below the destination: "./" prefixes dropped;
// empty, absolute and ".." names refused.
bool SafeEntryName(const char* raw, std::string& name) {
  if (raw == nullptr) return false;
  std::string_view text(raw);
  while (text.starts_with("./")) text.remove_prefix(2);
  if (text.empty() || text.front() == '/') return false;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('/', start), text.size());
    if (text.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  name.assign(text);
  return true;
}

// A reader of zip archives over `fd`.
CYqError OpenReader(int fd, const std::string& archive, ArchiveReader& reader) {
  reader.reset(archive_read_new());
  if (!reader) return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNotEnoughMemory);
  if (archive_read_support_format_zip(reader.get()) != ARCHIVE_OK ||
      archive_read_open_fd(reader.get(), fd, kChunk) != ARCHIVE_OK) {
    return DamagedArchive(FX_CODE_LOCATION, archive, reader.get());
  }
  return CYqError::Success();
}

// The next entry; `more` is false at the end. A warning (a name in another
// character set) is no failure; anything worse is.
CYqError NextEntry(struct archive* reader, const std::string& archive, struct archive_entry*& entry, bool& more) {
  const int status = archive_read_next_header(reader, &entry);
  more = status == ARCHIVE_OK || status == ARCHIVE_WARN;
  if (more || status == ARCHIVE_EOF) return CYqError::Success();
  return DamagedArchive(FX_CODE_LOCATION, archive, reader);
}

// Appends one file to an open writer; `newest` keeps the latest last write
// time seen.
CYqError AddOneFile(struct archive* writer, const std::string& path, struct timespec& newest, mode_t& firstMode) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot open [%s]", path.c_str());
  struct stat before {};
  if (::fstat(fd.get(), &before) != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot read the attributes of [%s]", path.c_str());
  }
  if (!S_ISREG(before.st_mode)) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidParameter, "[%s] is not a file", path.c_str());
  }
  if (firstMode == 0) firstMode = before.st_mode & 0777;
  if (before.st_mtim.tv_sec > newest.tv_sec ||
      (before.st_mtim.tv_sec == newest.tv_sec && before.st_mtim.tv_nsec > newest.tv_nsec)) {
    newest = before.st_mtim;
  }

  ArchiveEntry entry(archive_entry_new());
  if (!entry) return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNotEnoughMemory);
  archive_entry_set_pathname(entry.get(), FXPath::GetFileName(path).c_str());
  archive_entry_set_filetype(entry.get(), AE_IFREG);
  archive_entry_set_perm(entry.get(), before.st_mode & 0777);
  archive_entry_set_size(entry.get(), before.st_size);
  archive_entry_set_mtime(entry.get(), before.st_mtim.tv_sec, before.st_mtim.tv_nsec);
  if (archive_write_header(writer, entry.get()) != ARCHIVE_OK) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidFunction, "Cannot add [%s]: %s", path.c_str(),
                                   ReasonOf(writer));
  }
  // Exactly the size announced in the header: a file that grows meanwhile
  // is caught by the check below.
  std::vector<char> buffer(kChunk);
  long long left = before.st_size;
  while (left > 0) {
    const ssize_t n = ReadFull(fd.get(), buffer.data(), std::min<long long>(left, kChunk));
    if (n < 0) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot read [%s]", path.c_str());
    if (n == 0) break;
    if (archive_write_data(writer, buffer.data(), static_cast<std::size_t>(n)) != n) {
      return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidFunction, "Cannot compress [%s]: %s",
                                     path.c_str(), ReasonOf(writer));
    }
    left -= n;
  }
  struct stat after {};
  if (left != 0 || ::fstat(fd.get(), &after) != 0 || after.st_size != before.st_size ||
      !SameTime(after.st_mtim, before.st_mtim)) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorSharingViolation,
                                   "[%s] changed while it was being archived", path.c_str());
  }
  if (archive_write_finish_entry(writer) != ARCHIVE_OK) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidFunction, "Cannot add [%s]: %s", path.c_str(),
                                   ReasonOf(writer));
  }
  return CYqError::Success();
}

CYqError LeavesTheDestination(const FXCodeLocation& location, const std::string& archive, const std::string& name) {
  return FXErrorUtil::ErrorWin32(location, yq::kErrorInvalidName,
                                 "Archive [%s] holds [%s], which would leave the destination", archive.c_str(),
                                 name.c_str());
}

// The folder `relative` below the open folder `root`, made where missing and
// opened one name at a time, never through a link: a link anywhere on the
// way is a way out of the destination.
CYqError OpenFolderBeneath(int root, std::string_view relative, const std::string& archive, UniqueFd& folder) {
  folder.reset(::fcntl(root, F_DUPFD_CLOEXEC, 0));
  if (!folder) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot open the destination");
  std::size_t start = 0;
  while (start < relative.size()) {
    const std::size_t end = std::min(relative.find('/', start), relative.size());
    const std::string name(relative.substr(start, end - start));
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (::mkdirat(folder.get(), name.c_str(), 0777) != 0 && errno != EEXIST) {
      return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot create [%s]", std::string(relative).c_str());
    }
    UniqueFd next(::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) {
      if (errno == ELOOP || errno == ENOTDIR) return LeavesTheDestination(FX_CODE_LOCATION, archive, std::string(relative));
      return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot open [%s]", std::string(relative).c_str());
    }
    folder = std::move(next);
  }
  return CYqError::Success();
}

// Writes the data of the reader's current entry to `name` below `root`;
// at most `room` bytes, which then holds what is left.
CYqError ExtractEntry(struct archive* reader, struct archive_entry* entry, const std::string& archive, int root,
                      const std::string& name, unsigned long long limit, unsigned long long& room) {
  const auto slash = name.rfind('/');
  const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  UniqueFd folder;
  CYqError error = OpenFolderBeneath(root, slash == std::string::npos ? std::string_view() : std::string_view(name).substr(0, slash),
                                     archive, folder);
  if (error.IsError()) return error;
  TemporaryFile temporary(folder.get(), leaf);
  const mode_t mode = (archive_entry_perm(entry) & 0777) | 0600;  // we must be able to finish it
  UniqueFd fd(temporary.Create(mode));
  if (!fd) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot create [%s]", temporary.name().c_str());
  std::vector<char> buffer(kChunk);
  while (true) {
    const la_ssize_t n = archive_read_data(reader, buffer.data(), kChunk);
    if (n < 0) return DamagedArchive(FX_CODE_LOCATION, archive, reader);  // a bad checksum included
    if (n == 0) break;
    if (limit != 0) {
      if (static_cast<unsigned long long>(n) > room) {
        return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorFileTooLarge,
                                       "Archive [%s] expands to more than %llu bytes, the most one extraction may "
                                       "write",
                                       archive.c_str(), limit);
      }
      room -= static_cast<unsigned long long>(n);
    }
    error = WriteAll(fd.get(), buffer.data(), static_cast<std::size_t>(n), temporary.name());
    if (error.IsError()) return error;
  }
  if (archive_entry_mtime_is_set(entry)) {
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
    ::futimens(fd.get(), times);
  }
  if (::fsync(fd.get()) != 0 || fd.close() != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot write [%s]", temporary.name().c_str());
  }
  return temporary.Commit(leaf);
}

// Compares the reader's current entry with the file's bytes.
CYqError CompareEntry(struct archive* reader, const std::string& archive, const std::string& file, bool& same) {
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot open [%s]", file.c_str());
  std::vector<char> ours(kChunk), theirs(kChunk);
  same = true;
  while (true) {
    const la_ssize_t n = archive_read_data(reader, ours.data(), kChunk);
    if (n < 0) return DamagedArchive(FX_CODE_LOCATION, archive, reader);
    const ssize_t m = ReadFull(fd.get(), theirs.data(), n == 0 ? 1 : static_cast<std::size_t>(n));
    if (m < 0) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot read [%s]", file.c_str());
    if (n == 0) {
      if (m != 0) same = false;  // the file is longer
      return CYqError::Success();
    }
    // Keep reading after a difference: a damaged entry must still be told.
    if (m != n || std::memcmp(ours.data(), theirs.data(), static_cast<std::size_t>(n)) != 0) same = false;
  }
}

}  // namespace
}  // namespace yq

using yq::ArchiveReader;
using yq::ArchiveWriter;
using yq::UniqueFd;

C7zip::C7zip(std::string path, E7zipFormat format) : m_path(std::move(path)), m_format(format) {}

std::string C7zip::Resolve(const std::string& name) const {
  return name.empty() || name.front() == FXPath::kSeparator ? name : FXPath::Append(m_path, name);
}

CYqError C7zip::CheckReady(const FXCodeLocation& location) const {
  if (m_initialized) return CYqError::Success();
  return FXErrorUtil::ErrorWin32(location, yq::kErrorInvalidState, "The archiver is not initialized");
}

CYqError C7zip::Initialize() {
  if (m_format != e7zipFormatZip) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNotSupported, "Archive format %d is not supported",
                                   static_cast<int>(m_format));
  }
  ArchiveWriter writer(archive_write_new());
  ArchiveReader reader(archive_read_new());
  if (!writer || !reader) return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNotEnoughMemory);
  if (archive_write_set_format_zip(writer.get()) != ARCHIVE_OK ||
      archive_write_zip_set_compression_deflate(writer.get()) != ARCHIVE_OK) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNotSupported, "Cannot write zip with deflate: %s",
                                   yq::ReasonOf(writer.get()));
  }
  if (archive_read_support_format_zip(reader.get()) != ARCHIVE_OK) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNotSupported, "Cannot read zip: %s",
                                   yq::ReasonOf(reader.get()));
  }
  m_initialized = true;
  return CYqError::Success();
}

CYqError C7zip::AddFilesToArchive(const std::string& archive, const std::vector<std::string>& files) {
  if (CYqError error = CheckReady(FX_CODE_LOCATION); error.IsError()) return error;
  if (archive.empty() || files.empty()) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidParameter, "No archive or no files given");
  }
  std::set<std::string> names;
  for (const std::string& file : files) {
    if (!names.insert(FXPath::GetFileName(file)).second) {
      return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidParameter, "[%s] is given twice",
                                     FXPath::GetFileName(file).c_str());
    }
  }
  const std::string target = Resolve(archive);
  yq::TemporaryFile temporary(AT_FDCWD, target);
  UniqueFd fd(temporary.Create(0600));
  if (!fd) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot create [%s]", temporary.name().c_str());

  ArchiveWriter writer(archive_write_new());
  if (!writer) return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNotEnoughMemory);
  if (archive_write_set_format_zip(writer.get()) != ARCHIVE_OK ||
      archive_write_zip_set_compression_deflate(writer.get()) != ARCHIVE_OK ||
      archive_write_set_bytes_in_last_block(writer.get(), 1) != ARCHIVE_OK ||
      archive_write_open_fd(writer.get(), fd.get()) != ARCHIVE_OK) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidFunction, "Cannot start [%s]: %s",
                                   target.c_str(), yq::ReasonOf(writer.get()));
  }
  struct timespec newest {};
  mode_t mode = 0;
  for (const std::string& file : files) {
    CYqError error = yq::AddOneFile(writer.get(), Resolve(file), newest, mode);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION, "Cannot make [%s]", target.c_str());
  }
  if (archive_write_close(writer.get()) != ARCHIVE_OK) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidFunction, "Cannot finish [%s]: %s",
                                   target.c_str(), yq::ReasonOf(writer.get()));
  }
  const struct timespec times[2] = {{0, UTIME_OMIT}, newest};
  if (::fchmod(fd.get(), mode) != 0 || ::futimens(fd.get(), times) != 0 || ::fsync(fd.get()) != 0 ||
      fd.close() != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot write [%s]", temporary.name().c_str());
  }
  return temporary.Commit(target);
}

CYqError C7zip::ExtractFilesFromArchive(const std::string& archive, const std::string& destination,
                                        std::vector<std::string>& files) {
  files.clear();
  if (CYqError error = CheckReady(FX_CODE_LOCATION); error.IsError()) return error;
  const std::string source = Resolve(archive);
  const std::string folder = Resolve(destination);
  UniqueFd fd(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot open archive [%s]", source.c_str());
  ArchiveReader reader;
  if (CYqError error = yq::OpenReader(fd.get(), source, reader); error.IsError()) return error;
  if (CYqError error = FXFile::CreateDirectories(folder); error.IsError()) return error.Push(FX_CODE_LOCATION);
  // The destination as the caller named it; below it nothing is followed.
  UniqueFd root(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!root) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot open [%s]", folder.c_str());
  unsigned long long room = m_extractLimit;
  while (true) {
    struct archive_entry* entry = nullptr;
    bool more = false;
    if (CYqError error = yq::NextEntry(reader.get(), source, entry, more); error.IsError() || !more) {
      return error;
    }
    std::string name;
    if (!yq::SafeEntryName(archive_entry_pathname(entry), name)) {
      const char* raw = archive_entry_pathname(entry);
      return yq::LeavesTheDestination(FX_CODE_LOCATION, source, raw != nullptr ? raw : "");
    }
    const mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFDIR) {
      UniqueFd made;
      CYqError error = yq::OpenFolderBeneath(root.get(), name, source, made);
      if (error.IsError()) return error.Push(FX_CODE_LOCATION);
    } else if (type == AE_IFREG) {
      CYqError error = yq::ExtractEntry(reader.get(), entry, source, root.get(), name, m_extractLimit, room);
      if (error.IsError()) return error.Push(FX_CODE_LOCATION);
      files.push_back(FXPath::Append(folder, name));
    }
  }
}

CYqError C7zip::ExtractFilesFromArchive(const std::string& archive, std::vector<std::string>& files) {
  return ExtractFilesFromArchive(archive, m_path.empty() ? FXPath::GetDirectory(Resolve(archive)) : m_path, files);
}

CYqError C7zip::CompareWithFile(const std::string& archive, const std::string& file, bool& same) {
  same = false;
  if (CYqError error = CheckReady(FX_CODE_LOCATION); error.IsError()) return error;
  const std::string source = Resolve(archive);
  const std::string path = Resolve(file);
  const std::string wanted = FXPath::GetFileName(path);
  UniqueFd fd(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot open archive [%s]", source.c_str());
  ArchiveReader reader;
  if (CYqError error = yq::OpenReader(fd.get(), source, reader); error.IsError()) return error;
  while (true) {
    struct archive_entry* entry = nullptr;
    bool more = false;
    if (CYqError error = yq::NextEntry(reader.get(), source, entry, more); error.IsError() || !more) {
      return error;
    }
    std::string name;
    if (archive_entry_filetype(entry) != AE_IFREG || !yq::SafeEntryName(archive_entry_pathname(entry), name) ||
        name != wanted) {
      continue;
    }
    CYqError error = yq::CompareEntry(reader.get(), source, path, same);
    return error.IsError() ? error.Push(FX_CODE_LOCATION) : error;
  }
}
