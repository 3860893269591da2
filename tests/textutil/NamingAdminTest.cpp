// znadmin host, guid and time run as an administrator or a script runs them.

#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "helpers/AdminRunner.h"

namespace {

using zn::test::RunAdmin;

TEST(NamingAdmin, HostMangleAndDemangle) {
  auto run = RunAdmin({"host", "mangle", "hostA", "--client", "c1", "--port1", "8400", "--port2", "8402"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "hostA*c1*8400*8402\n");
  EXPECT_EQ(RunAdmin({"host", "mangle", "hostA", "--extra", "x"}).out, "hostA**0*0*x\n");
  run = RunAdmin({"host", "demangle", "hostA*c1*8400x*"});
  EXPECT_EQ(run.out, "host: hostA\nclient: c1\nport1: 8400\nport2: 0\nextra: \n");
  run = RunAdmin({"host", "demangle", "--json", "h*\"c\"*1*2*e*f"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out),
            (nlohmann::json{{"host", "h"}, {"client", "\"c\""}, {"port1", 1}, {"port2", 2}, {"extra", "e"}}));
  EXPECT_EQ(RunAdmin({"host", "mangle"}).code, 2);
  EXPECT_EQ(RunAdmin({"host", "mangle", "h", "--port1", "x"}).code, 2);
  EXPECT_EQ(RunAdmin({"host"}).code, 2);
}

TEST(NamingAdmin, GuidSaltedAndUnsalted) {
  // SHA-256("abc") low nibble first (see CGuidFactoryTest).
  auto run = RunAdmin({"guid", "--nosalt", "abc"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "AB8761FBF810FCAE141404EDD5EA22320B30163A6971A7C94B01FF162F0051DA\n");
  run = RunAdmin({"guid", "-n", "3"});
  ASSERT_EQ(run.code, 0);
  ASSERT_EQ(run.out.size(), 3u * 65u);
  EXPECT_NE(run.out.substr(0, 64), run.out.substr(65, 64));
  EXPECT_EQ(run.out.find_first_not_of("0123456789ABCDEF\n"), std::string::npos);
  EXPECT_EQ(RunAdmin({"guid", "--nosalt", "a", "-n", "2"}).code, 2);
  EXPECT_EQ(RunAdmin({"guid", "-n", "0"}).code, 2);
}

TEST(NamingAdmin, TimeText) {
  ::setenv("TZ", "UTC", 1);  // the child takes the test's environment
  // `TZ=UTC date -d @1700000000 '+%Y/%m/%d %H:%M:%S'` gives 2023/11/14 22:13:20.
  auto run = RunAdmin({"time", "1700000000"});
  ::unsetenv("TZ");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "2023/11/14 22:13:20 \n");
  ::setenv("TZ", "UTC", 1);
  run = RunAdmin({"time", "1700000000", "--lcid", "1031", "--locale-default"});
  EXPECT_EQ(run.out, "14.11.2023 22:13:20 \n");
  run = RunAdmin({"time", "0"});
  ::unsetenv("TZ");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("no local time text for [0]"), std::string::npos) << run.err;
  EXPECT_EQ(RunAdmin({"time", "1700000000", "--lcid", "4"}).code, 1);
  EXPECT_EQ(RunAdmin({"time", "soon"}).code, 2);
}

}  // namespace
