// Mangled host names: every combination of set and unset fields round
// trips, and demangling reads what other programs send (too many or too
// few fields, empty fields, ports that are not numbers).

#include <gtest/gtest.h>

#include <string>

#include "zn/textutil/MangleHostName.h"

namespace {

struct Fields {
  std::string host, client;
  int port1 = -1, port2 = -1;
  std::string extra;
};

Fields Demangle(const char* mangled) {
  Fields f;
  DemangleHostName(mangled, &f.host, &f.client, &f.port1, &f.port2, &f.extra);
  return f;
}

TEST(MangleHostName, ExamplesOfTheFieldRules) {
  EXPECT_EQ(MangleHostName("hostA", nullptr, 0, 0, nullptr), "hostA");
  EXPECT_EQ(MangleHostName("hostA", "c1", 8400, 8402), "hostA*c1*8400*8402");
  EXPECT_EQ(MangleHostName("hostA", "", 0, 0, "x"), "hostA**0*0*x");
  EXPECT_EQ(MangleHostName("hostA", nullptr, 8400, 0), "hostA**8400");
  EXPECT_EQ(MangleHostName("hostA", "c1", 0, 0), "hostA*c1");
  EXPECT_EQ(MangleHostName("hostA", nullptr, 0, 8402), "hostA**0*8402");
  EXPECT_EQ(MangleHostName(nullptr, nullptr, -5, 0), "**-5");
}

TEST(MangleHostName, EveryCombinationOfFieldsRoundTrips) {
  for (int mask = 0; mask < 32; ++mask) {
    const std::string host = (mask & 1) ? "node-7.example.com" : "";
    const std::string client = (mask & 2) ? "client_1" : "";
    const int port1 = (mask & 4) ? 8400 : 0;
    const int port2 = (mask & 8) ? 8402 : 0;
    const std::string extra = (mask & 16) ? "word" : "";
    const std::string mangled = MangleHostName(host.c_str(), client.c_str(), port1, port2, extra.c_str());
    SCOPED_TRACE(mangled);
    const Fields f = Demangle(mangled.c_str());
    EXPECT_EQ(f.host, host);
    EXPECT_EQ(f.client, client);
    EXPECT_EQ(f.port1, port1);
    EXPECT_EQ(f.port2, port2);
    EXPECT_EQ(f.extra, extra);
    EXPECT_EQ(GetHostNameFromMangledHostName(mangled.c_str()), host);
    EXPECT_EQ(GetClientNameFromMangledHostName(mangled.c_str()), client);
    // Trailing unset fields are left out: the text never ends in '*'.
    EXPECT_TRUE(mangled.empty() || mangled.back() != '*');
    // Without the extra word the five-argument form agrees.
    if (!(mask & 16)) {
      EXPECT_EQ(MangleHostName(host.c_str(), client.c_str(), port1, port2), mangled);
    }
  }
}

TEST(MangleHostName, DemanglingForeignText) {
  Fields f = Demangle("hostA*c1");
  EXPECT_EQ(f.host, "hostA");
  EXPECT_EQ(f.client, "c1");
  EXPECT_EQ(f.port1, 0);
  EXPECT_EQ(f.port2, 0);
  EXPECT_EQ(f.extra, "");
  // A sixth field and beyond are ignored.
  f = Demangle("h*c*1*2*x*y*z");
  EXPECT_EQ(f.extra, "x");
  // Empty fields, numbers with trailing text, no number, blanks and signs.
  f = Demangle("**12ab*port");
  EXPECT_EQ(f.host, "");
  EXPECT_EQ(f.client, "");
  EXPECT_EQ(f.port1, 12);
  EXPECT_EQ(f.port2, 0);
  f = Demangle("h*c* 42*-7");
  EXPECT_EQ(f.port1, 42);
  EXPECT_EQ(f.port2, -7);
  f = Demangle("h*c*99999999999*+5");
  EXPECT_EQ(f.port1, 0);  // beyond an int: no port
  EXPECT_EQ(f.port2, 5);
  f = Demangle("h*c*+-5*");
  EXPECT_EQ(f.port1, 0);
  // Nothing at all, and a trailing separator.
  f = Demangle(nullptr);
  EXPECT_EQ(f.host, "");
  EXPECT_EQ(f.port1, 0);
  f = Demangle("h*");
  EXPECT_EQ(f.host, "h");
  EXPECT_EQ(f.client, "");
  EXPECT_EQ(GetHostNameFromMangledHostName(nullptr), "");
  EXPECT_EQ(GetClientNameFromMangledHostName("solo"), "");

  // Outputs not given are not written.
  int port1 = 77;
  std::string host = "kept";
  DemangleHostName("a*b*1*2*e", nullptr, nullptr, &port1, nullptr);
  EXPECT_EQ(port1, 1);
  DemangleHostName("a*b", nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(host, "kept");
}

}  // namespace
