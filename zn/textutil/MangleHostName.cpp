#include "zn/textutil/MangleHostName.h"

#include <array>
#include <charconv>
#include <string_view>

namespace {

constexpr char kSeparator = '*';
constexpr std::size_t kFields = 5;

std::string_view TextOf(const char* text) { return text != nullptr ? std::string_view(text) : std::string_view(); }

// What atoi(3) reads, without its undefined cases: blanks, a sign, digits,
// and anything after them ignored. A value outside int is no port: 0.
int PortOf(std::string_view field) {
  std::size_t at = 0;
  while (at < field.size() && (field[at] == ' ' || (field[at] >= '\t' && field[at] <= '\r'))) ++at;
  if (at < field.size() && field[at] == '+') {
    if (++at < field.size() && field[at] == '-') return 0;
  }
  int value = 0;
  const auto [end, error] = std::from_chars(field.data() + at, field.data() + field.size(), value);
  (void)end;
  return error == std::errc() ? value : 0;
}

std::array<std::string_view, kFields> Split(std::string_view text) {
  std::array<std::string_view, kFields> fields{};
  for (std::size_t i = 0; i < kFields && !text.empty(); ++i) {
    const std::size_t star = text.find(kSeparator);
    fields[i] = text.substr(0, star);
    if (star == std::string_view::npos) break;
    text.remove_prefix(star + 1);
  }
  return fields;
}

}  // namespace

std::string MangleHostName(const char* hostName, const char* clientName, int port1, int port2, const char* extra) {
  const std::string_view client = TextOf(clientName);
  const std::string_view word = TextOf(extra);
  std::string mangled(TextOf(hostName));
  const bool hasExtra = !word.empty();
  const bool hasPort2 = port2 != 0 || hasExtra;
  const bool hasPort1 = port1 != 0 || hasPort2;
  if (!client.empty() || hasPort1) (mangled += kSeparator) += client;
  if (hasPort1) (mangled += kSeparator) += std::to_string(port1);
  if (hasPort2) (mangled += kSeparator) += std::to_string(port2);
  if (hasExtra) (mangled += kSeparator) += word;
  return mangled;
}

std::string MangleHostName(const char* hostName, const char* clientName, int port1, int port2) {
  return MangleHostName(hostName, clientName, port1, port2, nullptr);
}

void DemangleHostName(const char* mangled, std::string* hostName, std::string* clientName, int* port1, int* port2,
                      std::string* extra) {
  const auto fields = Split(TextOf(mangled));
  if (hostName != nullptr) hostName->assign(fields[0]);
  if (clientName != nullptr) clientName->assign(fields[1]);
  if (port1 != nullptr) *port1 = PortOf(fields[2]);
  if (port2 != nullptr) *port2 = PortOf(fields[3]);
  if (extra != nullptr) extra->assign(fields[4]);
}

void DemangleHostName(const char* mangled, std::string* hostName, std::string* clientName, int* port1, int* port2) {
  DemangleHostName(mangled, hostName, clientName, port1, port2, nullptr);
}

std::string GetHostNameFromMangledHostName(const char* mangled) { return std::string(Split(TextOf(mangled))[0]); }

std::string GetClientNameFromMangledHostName(const char* mangled) { return std::string(Split(TextOf(mangled))[1]); }
