#include "zuzazer/FXFormatSafe.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace yq {
namespace {

// What a conversion takes from the argument list.
enum class ArgKind { kNone, kInt, kLong, kLongLong, kIntMax, kSize, kPtrDiff, kDouble, kLongDouble, kPointer, kWint };

// One conversion as written: "%" [N$] flags [width] [.precision] length
// conversion. A star may carry its own position ("*2$").
struct Conversion {
  std::size_t length = 0;  // characters of the format it spans
  int position = 0;        // N of "N$", 0 when sequential
  // Views into the format, so that scanning a format allocates nothing.
  std::string_view flags;
  bool widthStar = false;
  int widthPosition = 0;
  std::string_view width;
  bool hasPrecision = false;
  bool precisionStar = false;
  int precisionPosition = 0;
  std::string_view precision;
  std::string_view lengthModifier;
  char conversion = '\0';  // '\0': the format ended inside it
};

// More positions than any real format names; a larger one is refused rather
// than taken from beyond the arguments the caller passed.
constexpr int kMaxPosition = 64;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits followed by '$' at `p`: their number, and `p` moved past them.
int ReadPosition(const char*& p) {
  const char* q = p;
  int value = 0;
  while (IsDigit(*q) && value <= kMaxPosition) value = value * 10 + (*q++ - '0');
  if (q == p || *q != '$' || value == 0) return 0;
  p = q + 1;
  return value;
}

// Parses the conversion that starts at `start` (which points at '%').
Conversion Parse(const char* start) {
  Conversion c;
  const char* p = start + 1;
  c.position = ReadPosition(p);
  const auto span = [](const char* from, const char* to) {
    return std::string_view(from, static_cast<std::size_t>(to - from));
  };
  const char* from = p;
  while (*p != '\0' && std::strchr("-+ #0'I", *p) != nullptr) ++p;
  c.flags = span(from, p);
  if (*p == '*') {
    ++p;
    c.widthStar = true;
    c.widthPosition = ReadPosition(p);
  } else {
    from = p;
    while (IsDigit(*p)) ++p;
    c.width = span(from, p);
  }
  if (*p == '.') {
    ++p;
    c.hasPrecision = true;
    if (*p == '*') {
      ++p;
      c.precisionStar = true;
      c.precisionPosition = ReadPosition(p);
    } else {
      from = p;
      while (IsDigit(*p)) ++p;
      c.precision = span(from, p);
    }
  }
  // One length modifier, as glibc reads it: "hh" and "ll" are the only
  // pairs, so in "%lq" the conversion is "q" (and is printed as written).
  from = p;
  if (*p == 'h' || *p == 'l') {
    ++p;
    if (*p == from[0]) ++p;
  } else if (*p != '\0' && std::strchr("LqjzZt", *p) != nullptr) {
    ++p;
  }
  c.lengthModifier = span(from, p);
  c.conversion = *p;
  c.length = static_cast<std::size_t>(p - start) + (*p != '\0' ? 1 : 0);
  return c;
}

ArgKind KindOf(const Conversion& c) {
  const std::string_view m = c.lengthModifier;
  switch (c.conversion) {
    case 'd':
    case 'i':
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      if (m == "l") return ArgKind::kLong;
      if (m == "ll" || m == "q" || m == "L") return ArgKind::kLongLong;
      if (m == "j") return ArgKind::kIntMax;
      if (m == "z" || m == "Z") return ArgKind::kSize;
      if (m == "t") return ArgKind::kPtrDiff;
      return ArgKind::kInt;  // "hh" and "h" arrive promoted
    case 'c':
      return m == "l" ? ArgKind::kWint : ArgKind::kInt;
    case 'C':
      return ArgKind::kWint;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      return m == "L" ? ArgKind::kLongDouble : ArgKind::kDouble;
    case 's':
    case 'S':
    case 'p':
    case 'n':
      return ArgKind::kPointer;
    default:
      return ArgKind::kNone;  // "%m", "%%" and conversions printf does not know
  }
}

struct Arg {
  ArgKind kind = ArgKind::kInt;  // an argument no conversion names is taken as an int
  long long integer = 0;
  double real = 0;
  long double longReal = 0;
  const void* pointer = nullptr;
};

void Take(Arg& arg, va_list& args) {
  switch (arg.kind) {
    case ArgKind::kNone: break;
    case ArgKind::kInt: arg.integer = va_arg(args, int); break;
    case ArgKind::kWint: arg.integer = static_cast<long long>(va_arg(args, wint_t)); break;
    case ArgKind::kLong: arg.integer = va_arg(args, long); break;
    case ArgKind::kLongLong: arg.integer = va_arg(args, long long); break;
    case ArgKind::kIntMax: arg.integer = static_cast<long long>(va_arg(args, intmax_t)); break;
    case ArgKind::kSize: arg.integer = static_cast<long long>(va_arg(args, size_t)); break;
    case ArgKind::kPtrDiff: arg.integer = static_cast<long long>(va_arg(args, ptrdiff_t)); break;
    case ArgKind::kDouble: arg.real = va_arg(args, double); break;
    case ArgKind::kLongDouble: arg.longReal = va_arg(args, long double); break;
    case ArgKind::kPointer: arg.pointer = va_arg(args, const void*); break;
  }
}

// Appends one conversion expanded by snprintf.
template <typename... Values>
bool Append(std::string& out, const char* piece, Values... values) {
  char small[256];
  const int n = std::snprintf(small, sizeof small, piece, values...);
  if (n < 0) return false;
  const auto length = static_cast<std::size_t>(n);
  if (length < sizeof small) {
    out.append(small, length);
    return true;
  }
  const std::size_t at = out.size();
  out.resize(at + length + 1);
  std::snprintf(out.data() + at, length + 1, piece, values...);
  out.resize(at + length);
  return true;
}

template <typename Value>
bool AppendWithStars(std::string& out, const char* piece, const std::vector<int>& stars, Value value) {
  switch (stars.size()) {
    case 0: return Append(out, piece, value);
    case 1: return Append(out, piece, stars[0], value);
    default: return Append(out, piece, stars[0], stars[1], value);
  }
}

bool Expand(std::string& out, const Conversion& c, const std::vector<int>& stars, const Arg& arg) {
  // The conversion again, sequential: its stars and value come as given.
  std::string piece = "%";
  piece += c.flags;
  piece += c.widthStar ? std::string_view("*") : c.width;
  if (c.hasPrecision) {
    piece += '.';
    piece += c.precisionStar ? std::string_view("*") : c.precision;
  }
  piece += c.lengthModifier;
  piece.push_back(c.conversion);
  const char* s = piece.c_str();
  switch (arg.kind) {
    case ArgKind::kNone: return AppendWithStars(out, s, stars, 0);  // "%m": no argument to give
    case ArgKind::kInt: return AppendWithStars(out, s, stars, static_cast<int>(arg.integer));
    case ArgKind::kWint: return AppendWithStars(out, s, stars, static_cast<wint_t>(arg.integer));
    case ArgKind::kLong: return AppendWithStars(out, s, stars, static_cast<long>(arg.integer));
    case ArgKind::kLongLong: return AppendWithStars(out, s, stars, arg.integer);
    case ArgKind::kIntMax: return AppendWithStars(out, s, stars, static_cast<intmax_t>(arg.integer));
    case ArgKind::kSize: return AppendWithStars(out, s, stars, static_cast<size_t>(arg.integer));
    case ArgKind::kPtrDiff: return AppendWithStars(out, s, stars, static_cast<ptrdiff_t>(arg.integer));
    case ArgKind::kDouble: return AppendWithStars(out, s, stars, arg.real);
    case ArgKind::kLongDouble: return AppendWithStars(out, s, stars, arg.longReal);
    case ArgKind::kPointer: return AppendWithStars(out, s, stars, arg.pointer);
  }
  return false;
}

bool Printable(const Conversion& c) { return c.conversion != '\0' && c.conversion != '%'; }

}  // namespace

FormatScan ScanFormat(const char* terminated) {
  FormatScan scan;
  const std::string_view format(terminated);
  for (std::size_t at = format.find('%'); at != std::string_view::npos; at = format.find('%', at)) {
    // The parser reads up to the terminator, never past it.
    const Conversion c = Parse(terminated + at);
    if (c.conversion == 'n') scan.percentN = true;
    if (c.conversion == '\0') {
      scan.unfinishedAt = at;
      break;
    }
    at += c.length;
  }
  return scan;
}

int FormatWithoutPercentN(char* buffer, std::size_t size, const char* format, va_list args) {
  // The conversions, in order, and whether arguments are named by position.
  std::vector<std::pair<std::size_t, Conversion>> conversions;
  bool positional = false, sequential = false;
  for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p, '%')) {
    Conversion c = Parse(p);
    if (Printable(c) && KindOf(c) != ArgKind::kNone) {
      const bool named = c.position != 0;
      if (c.position > kMaxPosition || c.widthPosition > kMaxPosition || c.precisionPosition > kMaxPosition) return -1;
      (named ? positional : sequential) = true;
      if ((c.widthStar && (c.widthPosition != 0) != named) ||
          (c.precisionStar && (c.precisionPosition != 0) != named)) {
        return -1;
      }
    }
    conversions.emplace_back(static_cast<std::size_t>(p - format), c);
    p += c.length;
    if (c.conversion == '\0') break;
  }
  if (positional && sequential) return -1;

  va_list copy;
  va_copy(copy, args);
  // Positional: every argument's type is known before any is taken.
  std::vector<Arg> byPosition;
  if (positional) {
    // One position read as two types leaves its argument's size unknown:
    // refused rather than read with the wrong type. A position no
    // conversion names is taken as an int.
    std::vector<bool> named;
    bool consistent = true;
    const auto name = [&](int position, ArgKind kind) {
      const auto at = static_cast<std::size_t>(position);
      if (at > byPosition.size()) {
        byPosition.resize(at);
        named.resize(at);
      }
      if (named[at - 1] && byPosition[at - 1].kind != kind) consistent = false;
      byPosition[at - 1].kind = kind;
      named[at - 1] = true;
    };
    for (const auto& [offset, c] : conversions) {
      if (!Printable(c) || KindOf(c) == ArgKind::kNone) continue;
      if (c.widthStar) name(c.widthPosition, ArgKind::kInt);
      if (c.precisionStar) name(c.precisionPosition, ArgKind::kInt);
      name(c.position, KindOf(c));
    }
    if (!consistent) {
      va_end(copy);
      if (size > 0) buffer[0] = '\0';
      return -1;
    }
    for (Arg& arg : byPosition) Take(arg, copy);
  }

  std::string out;
  std::size_t copied = 0;
  bool ok = true;
  for (const auto& [offset, c] : conversions) {
    out.append(format + copied, offset - copied);
    copied = offset + c.length;
    if (c.conversion == '%') {
      out.push_back('%');
      continue;
    }
    if (!Printable(c)) {
      out.append(format + offset, c.length);  // a lone "%" at the end
      continue;
    }
    const ArgKind kind = KindOf(c);
    if (kind == ArgKind::kNone && c.conversion != 'm') {
      out.append(format + offset, c.length);  // not a conversion: printed as written
      continue;
    }
    std::vector<int> stars;
    Arg value;
    value.kind = kind;
    if (positional) {
      if (c.widthStar) stars.push_back(static_cast<int>(byPosition[static_cast<std::size_t>(c.widthPosition) - 1].integer));
      if (c.precisionStar) {
        stars.push_back(static_cast<int>(byPosition[static_cast<std::size_t>(c.precisionPosition) - 1].integer));
      }
      if (kind != ArgKind::kNone) value = byPosition[static_cast<std::size_t>(c.position) - 1];
    } else {
      if (c.widthStar) stars.push_back(va_arg(copy, int));
      if (c.precisionStar) stars.push_back(va_arg(copy, int));
      Take(value, copy);
    }
    if (c.conversion == 'n') continue;  // its arguments are taken; nothing is written
    if (!(ok = Expand(out, c, stars, value))) break;
  }
  va_end(copy);
  if (!ok) {
    if (size > 0) buffer[0] = '\0';
    return -1;
  }
  out.append(format + copied);
  if (size > 0) {
    const std::size_t kept = std::min(out.size(), size - 1);
    std::memcpy(buffer, out.data(), kept);
    buffer[kept] = '\0';
  }
  return static_cast<int>(out.size());
}

}  // namespace yq
