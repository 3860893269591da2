// An iterator over the names in one folder, with helpers that find,
// remove, copy and sum what the folder holds. ZNDirectoryW is the same
// over wide characters (UTF-32 here; names that are not UTF-8 on disk come
// back with U+FFFD in place of their bad bytes).
//
// Listings keep "." and ".." and come in the file system's order. Messages
// go to the ZNTDebuggable output (prefix "DIRECTORY") at level 1; names in
// them show control characters as \xNN. Results are 0 (or a count) or -1,
// with a Win32 code in getLastError().
#pragma once

#include <string>

#include "zn/base/ZnExport.h"
#include "zn/debuggable/ZNTDebuggable.h"
#include "zuzazer/FXUniqueDir.h"

class ZN_EXPORT ZNDirectory : public ZNTDebuggable {
 public:
  ZNDirectory();
  ~ZNDirectory() override = default;
  ZNDirectory(const ZNDirectory&) = delete;
  ZNDirectory& operator=(const ZNDirectory&) = delete;

  // Starts listing `name` (a trailing '/' or '\' is the same folder). A
  // listing already open is closed first.
  int open(const char* name);
  // The next entry's name (valid until the next call), or null: at the end
  // of the listing (last error 18) or on a failure.
  const char* read();
  int close();
  bool isOpen() const { return m_isOpen != 0; }
  const char* getName() const { return m_name.c_str(); }

  // The first name of the open folder, in name order, that matches the
  // wildcard pattern ('*', '?'; "*" and "*.*" match everything; "." and ".."
  // never): 0 and the name in `found`, or -1 (2 when nothing matches). The
  // last argument is not interpreted.
  int findFileByPattern(const char* pattern, std::string& found, int reserved = 0);
  // Removes every entry of the open folder other than "." and ".." and the
  // name `except` (null: none): a subfolder with everything in it, a link as
  // a link, never what it points to. Goes on past a failure; -1 when any.
  int removeFiles(const char* except = nullptr);
  // Copies every entry of folder `from` (null or empty: the open folder)
  // into folder `to`, made when missing: files through a temporary name
  // renamed into place when complete (an older file of that name replaced
  // at once), links as links, subfolders with everything in them. Goes on
  // past a failure; -1 when any.
  int copyFiles(const char* from, const char* to);
  // The bytes of the regular files of the open folder (links not followed),
  // or -1.
  long long sumSizes();
  // Bytes available to this process and the size of the file system that
  // holds `path`. The last argument is not interpreted.
  int getFreeSpace(const char* path, unsigned long long* available, unsigned long long* total,
                   unsigned long* reserved = nullptr);

  int getLastError() const { return m_lastError; }

 private:
  // The open folder as a new descriptor of its own, or -1 (with the
  // "attempted before open" message of `caller` when the folder is not open).
  int reopenFolder(const char* caller);

  std::string m_name;    // as the caller gave it
  std::string m_folder;  // the folder it names
  yq::UniqueDir m_dir;
  int m_isOpen = 0;
  int m_lastError = 0;
};

class ZN_EXPORT ZNDirectoryW : public ZNTDebuggable {
 public:
  ZNDirectoryW();
  ~ZNDirectoryW() override = default;
  ZNDirectoryW(const ZNDirectoryW&) = delete;
  ZNDirectoryW& operator=(const ZNDirectoryW&) = delete;

  int open(const wchar_t* name);
  const wchar_t* read();
  int close();
  bool isOpen() const { return m_narrow.isOpen(); }

  int findFileByPattern(const wchar_t* pattern, std::wstring& found, int reserved = 0);
  int removeFiles(const wchar_t* except = nullptr);
  int copyFiles(const wchar_t* from, const wchar_t* to);
  long long sumSizes();
  int getFreeSpace(const wchar_t* path, unsigned long long* available, unsigned long long* total,
                   unsigned long* reserved = nullptr);

  int getLastError() const { return m_narrow.getLastError(); }

 private:
  // The narrow listing does the work and writes as this object would.
  ZNDirectory& narrow();

  ZNDirectory m_narrow;
  std::wstring m_current;
};
