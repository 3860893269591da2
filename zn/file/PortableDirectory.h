// Listing the children of a folder with their size, time and type, and
// creating folder trees, optionally as another user.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"
#include "zn/file/PortableFile.h"
#include "zuzazer/FXUniqueDir.h"

class ZN_EXPORT PortableDirectory : public PortableObject {
 public:
  static constexpr std::size_t kMaxNameLength = 1024;

  PortableDirectory() = default;
  explicit PortableDirectory(const char* path);
  ~PortableDirectory() override = default;
  PortableDirectory(const PortableDirectory&) = delete;
  PortableDirectory& operator=(const PortableDirectory&) = delete;

  // Ends any listing and forgets the path. Always true.
  bool init(bool reserved = false);

  // Starts listing the children of `path` (null: the constructor's path); a
  // trailing '/' or '\' names the same folder. Errors: 2 for a path that is
  // missing or not a folder, 13 for access refused, else the Win32 code.
  bool initGettingChildInfos(const char* path, bool reserved = false);
  // The next child, "." and ".." included: its name (up to 1024 bytes, `name`
  // must hold 1025), size, modification time (seconds since 1970) and
  // whether it is a folder, links followed. A child that cannot be examined
  // (a dangling link) has the first character of its name made '.', its
  // error in `*error` and the result is still true. At the end: true,
  // `*endReached` and `*error` 0. False when no listing is open or the
  // listing cannot go on.
  bool getNextChildInfo(char* name, long long* size, long long* modified, bool* isDir, int* error,
                        bool* endReached);
  // False (-1) when no listing is open.
  bool closeGettingChildInfos();

  // Creates the folder `path` and every missing parent. With a user name,
  // as that user (PAM logon, then the thread's file identity; needs root):
  // the new folders are theirs and their rights decide. A level that
  // exists, or that is refused, counts as made; the result is true when
  // `path` is a folder at the end (183 when it is something else).
  bool create(const char* path, const wchar_t* user = nullptr, const wchar_t* domain = nullptr,
              const wchar_t* password = nullptr);

 private:
  bool createLevels(const std::string& path);

  std::string m_path;        // as the caller gave it
  std::string m_searchPath;  // the folder the listing reads
  yq::UniqueDir m_search;
  bool m_firstPending = false;
  bool m_enumerationOpen = false;
  bool m_existsButEmpty = false;
};
