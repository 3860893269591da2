// The archiver of the utility library: zip archives with deflate, made and
// read by libarchive.
//
// Archives and extracted files are written under a temporary name beside
// their final one and renamed into place when complete, so a reader never
// finds a half-written file under the real name. A damaged archive (cut
// short, not a zip, a bad checksum) fails with Win32 error 13 and the
// reader's reason.
#pragma once

#include <string>
#include <vector>

#include "zuzazer/CYqError.h"
#include "zuzazer/YqExport.h"

enum E7zipFormat : int {
  e7zipFormatZip = 0,
};

class YQ_EXPORT C7zip {
 public:
  // `path` is the folder that relative names are taken from, and where the
  // two-argument extraction writes.
  explicit C7zip(std::string path = std::string(), E7zipFormat format = e7zipFormatZip);

  // Checks that the format can be written and read here. Every other call
  // fails with 5023 until it has succeeded.
  CYqError Initialize();
  bool IsInitialized() const { return m_initialized; }

  // Makes `archive` anew from `files`, each stored under its file name with
  // its permissions and last write time; an existing archive is replaced in
  // one step. The archive takes the last write time of the newest file, so
  // age rules treat it like what it holds. A file that changes while it is
  // read fails the call (32) and leaves any old archive as it was.
  CYqError AddFilesToArchive(const std::string& archive, const std::vector<std::string>& files);

  // Extracts every file of `archive` into `destination` (created when
  // missing); `files` receives the paths written. Every name is resolved
  // below the destination one folder at a time and never through a link:
  // names that would leave it (absolute, "..", a folder that is a link)
  // fail the call with 123; links and devices are not extracted. Expanding
  // to more than the extraction limit fails with 223. Files extracted
  // before a failure stay; none is left partial.
  CYqError ExtractFilesFromArchive(const std::string& archive, const std::string& destination,
                                   std::vector<std::string>& files);
  // The same into this archiver's folder.
  CYqError ExtractFilesFromArchive(const std::string& archive, std::vector<std::string>& files);

  // Whether `archive` holds an entry named like `file` with exactly its
  // bytes. An unreadable archive is an error; a missing entry or other
  // bytes give `same` false.
  CYqError CompareWithFile(const std::string& archive, const std::string& file, bool& same);

  // Most bytes one extraction may write, all files together; 0: no limit.
  static constexpr unsigned long long kDefaultExtractLimitBytes = 1ULL << 30;
  void SetExtractLimit(unsigned long long bytes) { m_extractLimit = bytes; }
  unsigned long long GetExtractLimit() const { return m_extractLimit; }

  const std::string& GetPath() const { return m_path; }
  E7zipFormat GetFormat() const { return m_format; }

 private:
  std::string Resolve(const std::string& name) const;
  CYqError CheckReady(const FXCodeLocation& location) const;

  std::string m_path;
  E7zipFormat m_format;
  bool m_initialized = false;
  unsigned long long m_extractLimit = kDefaultExtractLimitBytes;
};
