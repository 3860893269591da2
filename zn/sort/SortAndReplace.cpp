// znSortAndReplace: a file sorted in place. The input is replaced only by
// one rename of the finished, flushed output, so a sort that fails or is
// killed leaves the file as it was.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "zn/debuggable/ZNTDebuggable.h"
#include "zn/sort/BatchSort.h"
#include "zn/sort/internal/WorkFolder.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXScopeExit.h"
#include "zuzazer/FXUniqueFd.h"

namespace {

// Gives the finished output the input's mode (and owner, where allowed),
// then makes it durable before it takes the input's name.
bool PrepareReplacement(const std::string& output, const struct stat& input) {
  yq::UniqueFd fd(::open(output.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return false;
  if (::fchmod(fd.get(), input.st_mode & 07777) != 0) return false;
  // Only root may give a file away; for others the owner is already theirs.
  (void)::fchown(fd.get(), input.st_uid, input.st_gid);
  return ::fsync(fd.get()) == 0 && fd.close() == 0;
}

void SyncFolderOf(const std::string& file) {
  const std::string folder = FXPath::GetDirectory(file);
  yq::UniqueFd fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) ::fsync(fd.get());
}

}  // namespace

int znSortAndReplace(const char* file, int caseSensitive, int ascending, int unique) {
  int result = -1;
  ZNTDebuggable log;
  log.setDebugPrefix("SORTANDREPLACE");
  const std::string input = file != nullptr ? file : "";
  const std::string tmpFile = input + ".tmp";
  const std::string workDir = input + "_folder.tmp";
  const char* names[] = {input.c_str(), tmpFile.c_str(), workDir.c_str()};
  // A failure keeps the run files written so far; a folder left empty goes.
  yq::ScopeExit dropEmptyFolder([&] {
    if (result != 0 && !input.empty()) ::rmdir(workDir.c_str());
  });

  if (!input.empty()) {
    const CYqError made = FXFile::CreateDirectories(workDir, 0755);
    if (made.IsError()) log.debug(1, "could not create work folder '%s': %s", workDir.c_str(), made.AsString().c_str());
    const std::string refused = zn::detail::CheckWorkFolder(workDir);
    if (made.IsSuccess() && !refused.empty()) {
      log.debug(1, "refusing work folder '%s': %s", workDir.c_str(), refused.c_str());
      log.debug(1, "sort init failed for file '%s' tmpFile '%s' workdir '%s'", names[0], names[1], names[2]);
      return -1;
    }
  }

  BatchSort sorter;
  if (sorter.init(input.c_str(), tmpFile.c_str(), workDir.c_str(), ascending, caseSensitive, unique, 0) != 0) {
    log.debug(1, "sort init failed for file '%s' tmpFile '%s' workdir '%s'", names[0], names[1], names[2]);
    log.debug(1, "%s", sorter.getErrorText());
    return -1;
  }
  if (sorter.sort() != 0) {
    log.debug(1, "sort failed for file '%s' tmpFile '%s' workdir '%s'", names[0], names[1], names[2]);
    log.debug(1, "%s", sorter.getErrorText());
    return -1;
  }

  // The input goes only as the output takes its name: one rename(2), never
  // an unlink first that a crash could leave the file missing after.
  struct stat inputInfo {};
  if (::lstat(input.c_str(), &inputInfo) != 0 || S_ISDIR(inputInfo.st_mode)) {
    log.debug(1, "unlink failed for file '%s' tmpFile '%s' workdir '%s'", names[0], names[1], names[2]);
    ::unlink(tmpFile.c_str());
    return -1;
  }
  if (!PrepareReplacement(tmpFile, inputInfo) || ::rename(tmpFile.c_str(), input.c_str()) != 0) {
    log.debug(1, "rename failed for file '%s' tmpFile '%s' workdir '%s'", names[0], names[1], names[2]);
    return -1;
  }
  SyncFolderOf(input);

  if (!zn::detail::RemoveWorkFiles(workDir) || ::rmdir(workDir.c_str()) != 0) {
    log.debug(1, "ignoring zn_rmdir failure for '%s'", workDir.c_str());
  }
  result = 0;
  return result;
}
