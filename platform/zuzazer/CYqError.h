// The utility library's error value: success, or a code with a chain of error
// items that say where the error was made and what was being done.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "zuzazer/YqExport.h"

// How much an error value tells: 0 everything (the AsString text), 1 a short
// code-only text, 2 the text meant for people.
enum EErrorOutputFormat {
  eErrorOutputFull = 0,
  eErrorOutputShort = 1,
  eErrorOutputUser = 2,
};

// Where an error was made: source path, function name and line.
class YQ_EXPORT FXCodeLocation {
 public:
  FXCodeLocation(const char* file, const char* function, int line);

  const std::string& GetFile() const { return m_file; }
  const std::string& GetFunction() const { return m_function; }
  int GetLine() const { return m_line; }

  // "function(file.cpp:123)", the file reduced to its base name.
  std::string AsString() const;

 private:
  std::string m_file;
  std::string m_function;
  int m_line;
};

#define FX_CODE_LOCATION FXCodeLocation(__FILE__, __func__, __LINE__)

// One link of an error chain. Subclasses add what they know; the virtual
// operations, in order: destructor, text for an output format, AsString,
// clone.
class YQ_EXPORT FXErrorItem {
 public:
  explicit FXErrorItem(const FXCodeLocation& location);
  virtual ~FXErrorItem();

  virtual std::string AsText(EErrorOutputFormat format) const;
  virtual std::string AsString() const;
  virtual boost::shared_ptr<FXErrorItem> Clone() const;

  const FXCodeLocation& GetLocation() const { return m_location; }

 private:
  FXCodeLocation m_location;
};

// An item that carries a code and a message: what FXErrorUtil makes.
class YQ_EXPORT FXErrorItemText : public FXErrorItem {
 public:
  FXErrorItemText(const FXCodeLocation& location, uint32_t code, std::string text);

  std::string AsText(EErrorOutputFormat format) const override;
  std::string AsString() const override;
  boost::shared_ptr<FXErrorItem> Clone() const override;

  uint32_t GetCode() const { return m_code; }
  const std::string& GetText() const { return m_text; }

 private:
  uint32_t m_code;
  std::string m_text;
};

class YQ_EXPORT CYqError {
 public:
  // Success.
  CYqError() = default;
  CYqError(long code, boost::shared_ptr<FXErrorItem> item);

  static CYqError Success() { return CYqError(); }

  bool IsError() const { return m_code != 0 || !m_items.empty(); }
  bool IsSuccess() const { return !IsError(); }

  uint32_t GetErrorCode() const { return m_code; }

  // True when this is an error whose code, or one of the codes that
  // FXErrorUtil::GetMatches gives for it, equals `code`.
  bool Is(uint32_t code) const;
  bool IsNot(uint32_t code) const { return !Is(code); }

  // The first item (where the error was made) first, then the context pushed
  // on top of it, joined by " <- ". Success gives "Success".
  std::string AsString() const;
  // Formats 1 and 2 give the text of the item where the error was made;
  // format 0 and any other value give AsString().
  std::string AsString(EErrorOutputFormat format) const;

  // Adds context to an error and returns it. Pushing onto success leaves it
  // a success.
  CYqError& Push(const FXCodeLocation& location);
  CYqError& Push(const FXCodeLocation& location, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  CYqError& Push(boost::shared_ptr<FXErrorItem> item);

  const std::vector<boost::shared_ptr<FXErrorItem>>& GetItems() const { return m_items; }

 private:
  uint32_t m_code = 0;
  std::vector<boost::shared_ptr<FXErrorItem>> m_items;
};
