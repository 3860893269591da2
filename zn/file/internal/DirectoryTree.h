// Removing and copying what a folder holds, whole trees included, without
// ever following a link: every step works on descriptors opened with
// O_NOFOLLOW relative to their parent, so a folder swapped for a link
// while we work cannot send us elsewhere. Copies go to a temporary name
// and are renamed into place once complete.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace zn::detail {

// Folders nested deeper than this are refused (ENAMETOOLONG) rather than
// walked: each level holds a descriptor and a stack frame.
inline constexpr int kMaxTreeDepth = 512;

// A failed entry: its path as shown, and the errno.
using RemoveFailure = std::function<void(const std::string& path, int errnum)>;
// A failed copy: source and target paths as shown, and the errno.
using CopyFailure = std::function<void(const std::string& from, const std::string& to, int errnum)>;

// Removes every entry of the folder open as `folderFd` except the one
// named `except` (not null: top level only). A subfolder goes with
// everything in it; a link goes, never what it points to. Entries that
// appear meanwhile inside a subfolder are removed too (a few passes), so
// the subfolder can go. Returns 0, or the errno of the last failure.
int RemoveFolderEntries(int folderFd, const std::string& shownPath, const char* except,
                        const RemoveFailure& onFailure);

// Copies every entry of `fromFd` into `toFd`: files with their content,
// permission bits (set-id bits dropped) and times, links as links,
// subfolders as folders with everything in them. A file of the same name
// is replaced atomically; the target folder itself is never copied into
// itself. Returns 0, or the errno of the last failure.
int CopyFolderEntries(int fromFd, const std::string& fromPath, int toFd, const std::string& toPath,
                      const CopyFailure& onFailure);

}  // namespace zn::detail
