// znadmin host mangle|demangle, znadmin guid and znadmin time: the host
// names, identifiers and time texts the suite writes, made or read back the
// way its programs do, for administrators and scripts.

#include <unistd.h>

#include <chrono>
#include <iostream>
#include <string>

#include "Admin.h"
#include "zn/textutil/CGuidFactory.h"
#include "zn/textutil/MangleHostName.h"
#include "zn/textutil/ZnTime.h"

namespace zn::admin {
namespace {

struct NamingOptions {
  std::string host;
  std::string client;
  int port1 = 0;
  int port2 = 0;
  std::string extra;
  std::string mangled;
  bool json = false;
  std::string nosalt;
  std::string seed;
  int count = 1;
  long long seconds = 0;
  unsigned long lcid = 0;
  bool localeDefault = false;
};

int Mangle(const NamingOptions& o) {
  std::cout << MangleHostName(o.host.c_str(), o.client.c_str(), o.port1, o.port2, o.extra.c_str()) << "\n";
  return kExitOk;
}

int Demangle(const NamingOptions& o) {
  std::string host, client, extra;
  int port1 = 0, port2 = 0;
  DemangleHostName(o.mangled.c_str(), &host, &client, &port1, &port2, &extra);
  const Json data = {{"host", host}, {"client", client}, {"port1", port1}, {"port2", port2}, {"extra", extra}};
  return Emit(o.json, data, [&] {
    std::cout << "host: " << host << "\nclient: " << client << "\nport1: " << port1 << "\nport2: " << port2
              << "\nextra: " << extra << "\n";
  });
}

int Guid(const NamingOptions& o, bool nosalt) {
  CGuidFactory factory;
  if (nosalt) {
    std::cout << factory.get_guid_nosalt(o.nosalt) << "\n";
    return kExitOk;
  }
  std::string seed = o.seed;
  if (seed.empty()) {
    char host[256] = {};
    ::gethostname(host, sizeof(host) - 1);
    seed = host;
  }
  for (int i = 0; i < o.count; ++i) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto nanoseconds = static_cast<unsigned long long>(std::chrono::nanoseconds(now).count());
    std::cout << factory.get_guid(seed, static_cast<unsigned int>(::getpid()), nanoseconds, "") << "\n";
  }
  return kExitOk;
}

int Time(const NamingOptions& o) {
  char buffer[21];
  ZnTime(o.seconds, buffer, o.lcid, o.localeDefault);
  if (std::string(buffer) == std::string(20, ' ')) {
    return Fail("no local time text for [" + std::to_string(o.seconds) + "] with locale [" + std::to_string(o.lcid) +
                "] (times must be above 0 and before the year 10000; locale ids: docs/naming.md)");
  }
  std::cout << buffer << "\n";
  return kExitOk;
}

}  // namespace

void AddNamingCommands(CLI::App& app, std::vector<Handler>& handlers) {
  static NamingOptions options;  // bound by the options, lives as long as the application
  CLI::App* host = app.add_subcommand("host", "Make or read mangled host names (host*client*port1*port2*extra)");
  host->require_subcommand(1);
  CLI::App* mangle = host->add_subcommand("mangle", "Print the mangled form of a host name and its fields");
  mangle->add_option("host", options.host, "The host name")->required();
  mangle->add_option("--client", options.client, "The client name");
  mangle->add_option("--port1", options.port1, "The first port (the node's daemon port)");
  mangle->add_option("--port2", options.port2, "The second port");
  mangle->add_option("--extra", options.extra, "The extra word");
  handlers.push_back({mangle, [] { return Mangle(options); }});
  CLI::App* demangle = host->add_subcommand("demangle", "Print the fields of a mangled host name");
  demangle->add_option("mangled", options.mangled, "The mangled text")->required();
  AddJsonFlag(demangle, options.json);
  handlers.push_back({demangle, [] { return Demangle(options); }});

  CLI::App* guid = app.add_subcommand("guid", "Print a new unique identifier (64 hexadecimal characters)");
  CLI::Option* nosalt =
      guid->add_option("--nosalt", options.nosalt, "Print the unsalted identifier of TEXT (always the same)");
  guid->add_option("--seed", options.seed, "The seed text (default: this machine's host name)")->excludes(nosalt);
  guid->add_option("-n,--count", options.count, "How many identifiers")->check(CLI::Range(1, 1000000))->excludes(nosalt);
  handlers.push_back({guid, [nosalt] { return Guid(options, nosalt->count() > 0); }});

  CLI::App* time = app.add_subcommand("time", "Print a time (seconds since 1970) as the suite's logs show it");
  time->add_option("seconds", options.seconds, "Seconds since 1970")->required();
  time->add_option("--lcid", options.lcid, "A Windows locale id (1033 en-US, 1031 de-DE, ...); 0: YYYY/MM/DD");
  time->add_flag("--locale-default", options.localeDefault, "The locale's own short date instead of its order with /");
  handlers.push_back({time, [] { return Time(options); }});
}

}  // namespace zn::admin
