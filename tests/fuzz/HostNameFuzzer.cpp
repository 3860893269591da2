// Mangled host names arrive from other machines. Whatever the text:
// demangling never fails, the fields it gives mangle back to a text that
// demangles to the same fields, and the host and client getters agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "zn/textutil/MangleHostName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* mangled = text.c_str();  // stops at a zero byte, as a C caller's would
  std::string host, client, extra;
  int port1 = 0, port2 = 0;
  DemangleHostName(mangled, &host, &client, &port1, &port2, &extra);
  if (GetHostNameFromMangledHostName(mangled) != host) std::abort();
  if (GetClientNameFromMangledHostName(mangled) != client) std::abort();
  // Fields holding '*' cannot round trip (the text has no escape); others must.
  if (host.find('*') != std::string::npos || client.find('*') != std::string::npos) std::abort();
  if (extra.find('*') != std::string::npos) std::abort();
  const std::string again = MangleHostName(host.c_str(), client.c_str(), port1, port2, extra.c_str());
  std::string host2, client2, extra2;
  int port1b = -1, port2b = -1;
  DemangleHostName(again.c_str(), &host2, &client2, &port1b, &port2b, &extra2);
  if (host2 != host || client2 != client || port1b != port1 || port2b != port2 || extra2 != extra) std::abort();
  return 0;
}
