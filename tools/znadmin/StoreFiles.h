// The files znadmin writes from the store (exports, backups) and reads into
// it (imports). What comes out of the store may hold passwords: it gets the
// store file's protection, and it never lands on the store itself.
#pragma once

#include <string>
#include <string_view>

#include "zuzazer/FXUniqueFd.h"

namespace zn::admin {

// True when `path` names the store file `store` or one of its companions
// (-wal, -shm, -journal), through any link: same device and inode.
bool IsStoreFile(const std::string& path, const std::string& store);

// An export to import: a file, or "-" for standard input. Refused past the
// export form's limits (a line, the whole text) before anything is parsed.
bool ReadExportText(const std::string& path, std::string& text, std::string& error);

// A file written from the store: made under a temporary name beside
// `target` with the mode and group of the store file, and given its name
// only when complete.
class StoreOutputFile {
 public:
  StoreOutputFile(std::string target, const std::string& store);
  ~StoreOutputFile();
  StoreOutputFile(const StoreOutputFile&) = delete;
  StoreOutputFile& operator=(const StoreOutputFile&) = delete;

  bool ok() const { return m_fd.get() >= 0; }
  const std::string& error() const { return m_error; }
  // The temporary file, for writers that open it by name.
  const std::string& path() const { return m_temporary; }

  bool write(std::string_view text);
  // Syncs the file and moves it into place. An existing target is replaced
  // only with `replace`; otherwise it stays and the call fails.
  bool commit(bool replace);

 private:
  std::string m_target;
  std::string m_temporary;
  yq::UniqueFd m_fd;
  bool m_committed = false;
  std::string m_error;
};

}  // namespace zn::admin
