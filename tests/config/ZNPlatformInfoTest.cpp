// ZNPlatformInfo: how keys resolve, how names compare, the typed values and
// their bytes, error codes and which failures are logged, defaults, and the
// well-known values.

#include <climits>
#include <cstring>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "config/ConfigTestUtil.h"
#include "zn/crypto/ZNPassword.h"

namespace {

using zn::test::ConfigTest;
using zn::test::kInstanceKey;
using zn::test::ReadRaw;
using zn::test::WriteRaw;

std::string Bytes(const char* text, std::size_t size) { return std::string(text, size); }

std::string At(const std::string& section) { return std::string(kInstanceKey) + "\\" + section; }

using ZNPlatformInfoKeys = ConfigTest;

TEST_F(ZNPlatformInfoKeys, RelativeKeysResolveBelowTheFocusedInstance) {
  ZNPlatformInfo info;
  EXPECT_STREQ(info.getFocus(), "Instance001");
  EXPECT_EQ(info.expandKeyName("~Session"), At("Session"));
  EXPECT_EQ(info.expandKeyName("~\\\\Jobs\\\\\\Sub"), At("Jobs\\Sub"));  // runs collapse, leading ones vanish
  EXPECT_EQ(info.expandKeyName("~a/b"), At("a\\b"));
  EXPECT_EQ(info.expandKeyName("~"), std::string(kInstanceKey) + "\\");
  EXPECT_EQ(info.expandKeyName("SOFTWARE/Other\\Key"), "SOFTWARE\\Other\\Key");  // absolute: as it stands
  EXPECT_EQ(info.getSectionName("Jobs", "Sub"), "Jobs\\Sub");
  EXPECT_EQ(info.getSectionName("Jobs", nullptr), "Jobs");

  // A section "Session", a key "~Session", "a/b" and "a\\b" and a run of
  // separators all address one key; a null section is the instance key.
  ASSERT_TRUE(info.setString("Session", "sOne", "1"));
  ASSERT_TRUE(info.setString("~Session", "sTwo", "2"));
  ASSERT_TRUE(info.setString("a/b", "sThree", "3"));
  ASSERT_TRUE(info.setString("~\\\\a\\\\\\b\\", "sFour", "4"));
  ASSERT_TRUE(info.setString(nullptr, "sTop", "top"));
  std::map<std::string, std::string> values;
  ASSERT_TRUE(info.getRegValues(At("Session").c_str(), &values));
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"sOne", "1"}, {"sTwo", "2"}}));
  ASSERT_TRUE(info.getRegValues("SOFTWARE/Tessaly Systems/Orvane/Instance001/a/b", &values));
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"sFour", "4"}, {"sThree", "3"}}));
  std::string text;
  ASSERT_TRUE(info.getString("~", "sTop", &text));
  EXPECT_EQ(text, "top");
  ASSERT_TRUE(info.getRegValues(kInstanceKey, &values));
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"sTop", "top"}}));
  std::list<std::string> subkeys;
  ASSERT_TRUE(info.getSubKeys(nullptr, &subkeys));
  EXPECT_EQ(subkeys, (std::list<std::string>{"a", "Session"}));  // case-insensitive order

  // Another instance, by constructor or setFocus; an empty name changes nothing.
  ZNPlatformInfo other(std::string("Instance002"));
  EXPECT_EQ(other.expandKeyName("~Session"), "SOFTWARE\\Tessaly Systems\\Orvane\\Instance002\\Session");
  EXPECT_EQ(info.setFocus(""), 0);
  EXPECT_EQ(info.setFocus(nullptr), 0);
  EXPECT_EQ(info.setFocus("Instance003"), 1);
  EXPECT_EQ(info.expandKeyName("~S"), "SOFTWARE\\Tessaly Systems\\Orvane\\Instance003\\S");
  EXPECT_EQ(info.getString("Session", "sOne", &text), 0);
  EXPECT_EQ(info.getRegError(), -2);
  info.setToDefaultFocus();
  EXPECT_EQ(info.expandKeyName("~S"), At("S"));

  // The product name is taken once, at construction.
  ZNPI_Focus::setProductName("Elsewhere");
  EXPECT_EQ(info.expandKeyName("~S"), At("S"));
  EXPECT_STREQ(info.getProductName(), "Elsewhere");
  EXPECT_EQ(ZNPlatformInfo().expandKeyName("~S"), "SOFTWARE\\Tessaly Systems\\Elsewhere\\Instance001\\S");
}

TEST_F(ZNPlatformInfoKeys, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  ZNPlatformInfo info;
  ASSERT_TRUE(info.setString("Jobs\\Daily", "sName", "first"));
  ASSERT_TRUE(info.setString("JOBS\\daily", "SNAME", "second"));
  ASSERT_TRUE(info.setString("jobs\\WEEKLY", "sName", "w"));
  ASSERT_TRUE(info.setString("jobs", "bAlpha", "x"));
  ASSERT_TRUE(info.setNumber("JOBS", "nZeta", 3));
  ASSERT_TRUE(info.setString("Jobs", "Beta", "y"));

  std::list<std::string> subkeys;
  ASSERT_TRUE(info.getSubKeys("jObS", &subkeys));
  EXPECT_EQ(subkeys, (std::list<std::string>{"Daily", "WEEKLY"}));
  ASSERT_TRUE(info.getSubKeys(nullptr, &subkeys));
  EXPECT_EQ(subkeys, (std::list<std::string>{"Jobs"}));

  std::map<std::string, std::string> values;
  ASSERT_TRUE(info.getRegValues("~jobs\\daily", &values));
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"sName", "second"}}));  // one value, first spelling

  // Values enumerate in case-insensitive name order.
  std::vector<std::string> texts;
  ASSERT_TRUE(info.getValue(std::string("JOBS"), texts));
  EXPECT_EQ(texts, (std::vector<std::string>{"x", "y", "3"}));  // bAlpha, Beta, nZeta

  unsigned long type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadRaw("~JOBS\\DAILY", "sname", type, bytes));
  EXPECT_EQ(bytes, Bytes("second", 7));
  ASSERT_TRUE(info.delRegField("~jobs\\daily", "SNAME"));
  ASSERT_TRUE(info.getRegValues("~Jobs\\Daily", &values));
  EXPECT_TRUE(values.empty());
  ASSERT_TRUE(info.deleteSection("JOBS\\weekly"));
  ASSERT_TRUE(info.getSubKeys("Jobs", &subkeys));
  EXPECT_EQ(subkeys, (std::list<std::string>{"Daily"}));
}

TEST_F(ZNPlatformInfoKeys, RemoteCellAndNoInstanceProductsAndUnknownFocus) {
  ZNPI_Focus::setRemoteHubCellFocus("CellX");
  ZNPlatformInfo info;
  const std::string remote = std::string(kInstanceKey) + "\\RemoteHubServes\\CellX\\";
  EXPECT_EQ(info.expandKeyName("~HubServe"), remote + "HubServe");
  EXPECT_EQ(info.expandKeyName("~hubserve"), remote + "hubserve");
  EXPECT_EQ(info.expandKeyName("~__CACHE"), remote + "__CACHE");
  EXPECT_EQ(info.expandKeyName("~HubServe\\Sub"), At("HubServe\\Sub"));
  EXPECT_EQ(info.expandKeyName("~HubServer"), At("HubServer"));
  EXPECT_EQ(info.expandKeyName("~Session"), At("Session"));
  ASSERT_TRUE(info.setString("HubServe", "sHSCLIENTNAME", "remote-client"));
  std::map<std::string, std::string> values;
  ASSERT_TRUE(info.getRegValues((remote + "HubServe").c_str(), &values));
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"sHSCLIENTNAME", "remote-client"}}));
  ZNPI_Focus::setRemoteHubCellFocus("");
  EXPECT_EQ(info.expandKeyName("~HubServe"), At("HubServe"));

  // Product type 3 has no instance level, and needs no focus.
  ZNPI_Focus::setProductType(TESSALY_PRODUCT_TYPE_NO_INSTANCE);
  ZNPlatformInfo flat(std::string(""));
  EXPECT_EQ(flat.expandKeyName("~Base"), "SOFTWARE\\Tessaly Systems\\Orvane\\Base");
  EXPECT_EQ(flat.expandKeyName("SOFTWARE\\X"), "SOFTWARE\\X");
  ASSERT_TRUE(flat.setNumber("Base", "nPLATTYPE", 4));
  unsigned long type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadRaw("SOFTWARE\\Tessaly Systems\\Orvane\\Base", "nPLATTYPE", type, bytes));
  EXPECT_EQ(bytes, Bytes("\x04\0\0\0", 4));
  ZNPI_Focus::setProductType(TESSALY_PRODUCT_TYPE_DEFAULT);

  // An empty focus (given empty, or no focus at all): -1, the message,
  // nothing read or written.
  auto unfocusedFails = [](ZNPlatformInfo& object) {
    std::string text;
    EXPECT_EQ(object.expandKeyName("~Session"), "");
    EXPECT_EQ(object.getRegError(), -1);
    EXPECT_EQ(object.getLastErrorMsg(), "Can't resolve registry key [~Session]: current focus is unknown");
    EXPECT_EQ(object.setString("Jobs", "sName", "x"), 0);
    EXPECT_EQ(object.getRegError(), -1);
    EXPECT_EQ(object.getLastErrorMsg(), "Can't resolve registry key [~Jobs]: current focus is unknown");
    EXPECT_EQ(object.getString(nullptr, "sName", &text), 0);
    EXPECT_EQ(object.getRegError(), -1);
    EXPECT_EQ(object.getLastErrorMsg(), "Can't resolve registry key [~]: current focus is unknown");
    EXPECT_FALSE(object.createRegKey("~New"));
    EXPECT_EQ(object.getRegError(), -1);
    EXPECT_TRUE(object.setRegString("SOFTWARE\\Abs", "sName", "abs"));  // absolute keys still work
  };
  ZNPlatformInfo givenEmpty(std::string(""));
  unfocusedFails(givenEmpty);
  ZNPI_Focus::setFocus(nullptr);
  ZNPlatformInfo noFocus;
  unfocusedFails(noFocus);
  EXPECT_TRUE(Logged("Can't resolve registry key [~Jobs]: current focus is unknown"));
  std::list<std::string> subkeys;
  ZNPlatformInfo focused(std::string("Instance001"));
  ASSERT_TRUE(focused.getSubKeys(nullptr, &subkeys));
  EXPECT_EQ(subkeys, std::list<std::string>{"RemoteHubServes"});  // no "Jobs", no "New"
}

using ZNPlatformInfoValues = ConfigTest;

TEST_F(ZNPlatformInfoValues, EveryTypeRoundTripsByteExactly) {
  const std::vector<std::pair<unsigned long, std::string>> cases = {
      {kZnRegString, Bytes("plain text\0", 11)},
      {kZnRegString, Bytes("\0", 1)},                       // an empty string
      {kZnRegString, Bytes("no terminator", 13)},            // raw bytes kept as given
      {kZnRegExpandString, Bytes("%HOME%/logs\0", 12)},      // never expanded
      {kZnRegMultiString, Bytes("a\0\0b\0\0", 6)},           // an embedded empty string
      {kZnRegMultiString, Bytes("\0\0", 2)},
      {kZnRegNumber, Bytes("\xff\xfe\x00\x80", 4)},
      {kZnRegNumber64, Bytes("\x01\x02\x03\x04\x05\x06\x07\x88", 8)},
      {3, Bytes("\x00\xff\x00\x10\x80\"\\\n", 8)},
      {0xFFFFFFFFul, Bytes("odd type", 8)},
      {0, Bytes("\x00", 1)},
  };
  std::string big(3000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + 1);

  ZNPlatformInfo info(0, 0);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string name = "v" + std::to_string(i);
    ASSERT_TRUE(WriteRaw("~Types", name.c_str(), cases[i].first, cases[i].second)) << name;
  }
  ASSERT_TRUE(WriteRaw("~Types", "big", 3, big));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string name = "V" + std::to_string(i);
    unsigned long type = 12345;
    std::string bytes;
    ASSERT_TRUE(ReadRaw("~types", name.c_str(), type, bytes)) << name;
    EXPECT_EQ(type, cases[i].first) << name;
    EXPECT_EQ(bytes, cases[i].second) << name;
  }
  unsigned long type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadRaw("~Types", "big", type, bytes));
  EXPECT_EQ(bytes, big);

  // Overwriting changes type and bytes together; a wide value name finds it.
  ASSERT_TRUE(WriteRaw("~Types", "v0", kZnRegNumber, Bytes("\x07\0\0\0", 4)));
  char data[8] = {};
  int size = sizeof data;
  ASSERT_TRUE(info.getRegValue("~Types", L"V0", &type, data, size));
  EXPECT_EQ(type, kZnRegNumber);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(std::string(data, 4), Bytes("\x07\0\0\0", 4));

  // A zero length: strings take their text length plus 1, a multi-string the
  // length of its first string plus 2; other types are refused.
  ASSERT_TRUE(info.setRegValue("~Types", "z1", kZnRegString, "abc", 0));
  ASSERT_TRUE(ReadRaw("~Types", "z1", type, bytes));
  EXPECT_EQ(bytes, Bytes("abc\0", 4));
  ASSERT_TRUE(info.setRegValue("~Types", "z7", kZnRegMultiString, "ab\0cd\0", 0));
  ASSERT_TRUE(ReadRaw("~Types", "z7", type, bytes));
  EXPECT_EQ(bytes, Bytes("ab\0c", 4));
  EXPECT_FALSE(info.setRegValue("~Types", "z4", kZnRegNumber, "abcd", 0));
  EXPECT_EQ(info.getRegError(), -1);
  EXPECT_EQ(info.getLastErrorMsg(), "ZERO value length passed as input");
  EXPECT_FALSE(ReadRaw("~Types", "z4", type, bytes));
}

TEST_F(ZNPlatformInfoValues, TypedReadersAndWriters) {
  ZNPlatformInfo info;
  unsigned long type = 0;
  std::string bytes, text;

  ASSERT_TRUE(info.setString("S", "sText", std::string("  padded\t ")));
  ASSERT_TRUE(ReadRaw("~S", "sText", type, bytes));
  EXPECT_EQ(type, kZnRegString);
  EXPECT_EQ(bytes, Bytes("  padded\t \0", 11));
  ASSERT_TRUE(info.getStringTrim("S", "sText", &text));
  EXPECT_EQ(text, "padded");

  // Every string reader sees a multi-string's first string.
  ASSERT_TRUE(info.setMultiString("S", "mList", "first\0second\0\0", 15));
  ASSERT_TRUE(ReadRaw("~S", "mList", type, bytes));
  EXPECT_EQ(type, kZnRegMultiString);
  EXPECT_EQ(bytes, Bytes("first\0second\0\0", 15));
  ASSERT_TRUE(info.getString("S", "mList", &text));
  EXPECT_EQ(text, "first");
  char buf[64];
  int size = sizeof buf;
  ASSERT_TRUE(info.getString("S", "mList", buf, &size));
  EXPECT_STREQ(buf, "first");
  EXPECT_EQ(size, 6);
  size = sizeof buf;
  ASSERT_TRUE(info.getMultiString("S", "mList", buf, &size));
  EXPECT_EQ(size, 15);
  EXPECT_EQ(std::string(buf, 15), Bytes("first\0second\0\0", 15));
  std::map<std::string, std::string> map;
  ASSERT_TRUE(info.getRegValues("~S", &map));
  EXPECT_EQ(map["mList"], "first");

  ASSERT_TRUE(info.setDirectory("S", "dHome", "%HOME%/x\0", 9));
  ASSERT_TRUE(ReadRaw("~S", "dHome", type, bytes));
  EXPECT_EQ(type, kZnRegExpandString);
  ASSERT_TRUE(info.getDirectory("S", "dHome", &text));
  EXPECT_EQ(text, "%HOME%/x");
  ASSERT_TRUE(info.getString("S", "dHome", &text));
  EXPECT_EQ(text, "%HOME%/x");

  // 64-bit numbers are decimal text.
  ASSERT_TRUE(info.setLongLong("S", "sBig", 18446744073709551615ULL));
  ASSERT_TRUE(ReadRaw("~S", "sBig", type, bytes));
  EXPECT_EQ(type, kZnRegString);
  EXPECT_EQ(bytes, Bytes("18446744073709551615\0", 21));
  ASSERT_TRUE(info.setValue(std::string("S"), std::string("sLL"), 1234567890123ULL));
  unsigned long long ll = 0;
  ASSERT_TRUE(info.getValue(std::string("S"), std::string("sLL"), ll));
  EXPECT_EQ(ll, 1234567890123ULL);
  ASSERT_TRUE(info.setString("S", "sLead", "42abc"));
  ASSERT_TRUE(info.getLongLong("S", "sLead", &ll));
  EXPECT_EQ(ll, 42u);

  // Numbers are 32-bit; booleans are numbers, any non-zero one true.
  ASSERT_TRUE(info.setNumber("S", "nWide", 0x100000005UL));
  ASSERT_TRUE(ReadRaw("~S", "nWide", type, bytes));
  EXPECT_EQ(type, kZnRegNumber);
  EXPECT_EQ(bytes, Bytes("\x05\0\0\0", 4));
  ASSERT_TRUE(info.setNumber("S", "nAll", 0xFFFFFFFFUL));
  unsigned long ul = 0;
  int i = 0;
  unsigned int ui = 0;
  long l = 0;
  ASSERT_TRUE(info.getNumber("S", "nAll", &ul));
  ASSERT_TRUE(info.getNumber("S", "nAll", &i));
  ASSERT_TRUE(info.getNumber("S", "nAll", &ui));
  ASSERT_TRUE(info.getNumber("S", "nAll", &l));
  EXPECT_EQ(ul, 0xFFFFFFFFUL);
  EXPECT_EQ(i, -1);
  EXPECT_EQ(ui, 0xFFFFFFFFu);
  EXPECT_EQ(l, -1);
  ASSERT_TRUE(info.setNumber("S", "bTwo", 2));
  bool flag = false;
  ASSERT_TRUE(info.getBoolean("S", "bTwo", &flag));
  EXPECT_TRUE(flag);
  ASSERT_TRUE(info.setBoolean("S", "bOn", true));
  ASSERT_TRUE(ReadRaw("~S", "bOn", type, bytes));
  EXPECT_EQ(bytes, Bytes("\x01\0\0\0", 4));
  ASSERT_TRUE(info.setBoolean("S", "bOn", false));
  ASSERT_TRUE(info.getBoolean("S", "bOn", &flag));
  EXPECT_FALSE(flag);
  ASSERT_TRUE(info.setRegInt("~S", "nInt", -5));
  ASSERT_TRUE(info.getRegInt("~S", "nInt", &i));
  EXPECT_EQ(i, -5);

  // Passwords are their encoded text, type 1.
  ZNPassword password;
  password.setEncoded("2:c2VjcmV0");
  ASSERT_TRUE(info.setValue(std::string("S"), std::string("sPassword"), password));
  ASSERT_TRUE(ReadRaw("~S", "sPassword", type, bytes));
  EXPECT_EQ(type, kZnRegString);
  EXPECT_EQ(bytes, Bytes("2:c2VjcmV0\0", 11));
  ZNPassword back;
  ASSERT_TRUE(info.getValue(std::string("S"), std::string("sPassword"), back));
  EXPECT_EQ(back.getEncoded(), "2:c2VjcmV0");

  // The section as text: strings, numbers and 64-bit numbers in name order.
  ASSERT_TRUE(WriteRaw("~Mixed", "a", kZnRegString, Bytes("x\0", 2)));
  ASSERT_TRUE(WriteRaw("~Mixed", "b", kZnRegNumber, Bytes("\x05\0\0\0", 4)));
  ASSERT_TRUE(WriteRaw("~Mixed", "c", kZnRegExpandString, Bytes("skipped\0", 8)));
  ASSERT_TRUE(WriteRaw("~Mixed", "d", kZnRegNumber64, Bytes("\xff\xff\xff\xff\xff\xff\xff\xff", 8)));
  ASSERT_TRUE(WriteRaw("~Mixed", "e", kZnRegMultiString, Bytes("m\0\0", 3)));
  ASSERT_TRUE(WriteRaw("~Mixed", "f", 3, Bytes("\x01", 1)));
  std::list<std::string> list = {"kept"};
  ASSERT_TRUE(info.getValue(std::string("Mixed"), list));
  EXPECT_EQ(list, (std::list<std::string>{"kept", "x", "5", "18446744073709551615"}));
  ASSERT_TRUE(info.getRegValues("~Mixed", &map));
  EXPECT_EQ(map, (std::map<std::string, std::string>{
                     {"a", "x"}, {"b", "5"}, {"c", "skipped"}, {"d", "18446744073709551615"}, {"e", "m"}}));

  // String lists: every item split by every separator in turn.
  ASSERT_TRUE(info.setString("S", "sList", "a,b; c|d"));
  std::vector<std::string> items = {"old"};
  ASSERT_TRUE(info.getStringList("S", "sList", items, nullptr));
  EXPECT_EQ(items, (std::vector<std::string>{"a", "b", "c", "d"}));
  std::vector<std::string> separators = {"|"};
  ASSERT_TRUE(info.getStringList("S", "sList", items, &separators));
  EXPECT_EQ(items, (std::vector<std::string>{"a,b; c", "d"}));
}

TEST_F(ZNPlatformInfoValues, FailuresGiveTheirCodesAndOnlyMinusOneIsLogged) {
  ZNPlatformInfo setup;
  ASSERT_TRUE(setup.setString("Present", "sText", "hello"));
  ASSERT_TRUE(setup.setNumber("Present", "nNumber", 7));
  const std::string logBefore = LogText();

  // Absent value -3, absent key -2: silent, outputs untouched.
  {
    ZNPlatformInfo info;
    std::string text = "untouched";
    unsigned long number = 99;
    char buf[16] = "untouched";
    int size = sizeof buf;
    unsigned long type = 0;
    EXPECT_EQ(info.getString("Present", "sMissing", &text), 0);
    EXPECT_EQ(info.getRegError(), -3);
    EXPECT_EQ(info.getNumber("Present", "nMissing", &number), 0);
    EXPECT_EQ(info.getRegError(), -3);
    EXPECT_EQ(info.getString("Absent", "sText", &text), 0);
    EXPECT_EQ(info.getRegError(), -2);
    EXPECT_EQ(info.getString("Absent\\Deeper", "sText", buf, &size), 0);
    EXPECT_EQ(info.getRegError(), -2);
    EXPECT_FALSE(info.getRegValue("~Absent", "sText", &type, buf, size));
    EXPECT_EQ(info.getRegError(), -2);
    EXPECT_FALSE(info.getRegValue("~Present", "sMissing", &type, buf, size));
    EXPECT_EQ(info.getRegError(), -3);
    EXPECT_FALSE(info.delRegField("~Present", "sMissing"));
    EXPECT_EQ(info.getRegError(), -3);
    EXPECT_FALSE(info.delRegField("~Absent", "sText"));
    EXPECT_EQ(info.getRegError(), -2);
    EXPECT_FALSE(info.delRegKey("~Absent"));
    EXPECT_EQ(info.getRegError(), -2);
    std::list<std::string> subkeys = {"kept"};
    EXPECT_FALSE(info.getSubKeys("Absent", &subkeys));
    EXPECT_EQ(info.getRegError(), -2);
    EXPECT_EQ(subkeys, std::list<std::string>{"kept"});
    std::vector<std::string> texts;
    EXPECT_EQ(info.getValue(std::string("Absent"), texts), 0);
    EXPECT_EQ(info.getRegError(), -2);
    EXPECT_EQ(info.GetLanguageID(), -1);
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(number, 99u);
    EXPECT_STREQ(buf, "untouched");
    EXPECT_EQ(info.getLastErrorMsg(), "");
    EXPECT_EQ(LogText(), logBefore);
  }

  // A wrong type: -1 and the message with the key as given.
  {
    ZNPlatformInfo info;
    unsigned long number = 99;
    std::string text = "untouched";
    EXPECT_EQ(info.getNumber("Present", "sText", &number), 0);
    EXPECT_EQ(info.getRegError(), -1);
    EXPECT_EQ(info.getLastErrorMsg(), "Field sText in key ~Present is not a DWORD.");
    EXPECT_EQ(number, 99u);
    int value = 0;
    EXPECT_FALSE(info.getRegInt("~Present", "sText", &value));
    EXPECT_EQ(info.getLastErrorMsg(), "Field sText in key ~Present is not a DWORD.");
    EXPECT_EQ(info.getString("Present", "nNumber", &text), 0);
    EXPECT_EQ(info.getRegError(), -1);
    EXPECT_EQ(info.getLastErrorMsg(), "Field nNumber in key ~Present is not a string.");
    char buf[32];
    int size = sizeof buf;
    EXPECT_EQ(info.getString("~Present", "nNumber", buf, &size), 0);
    EXPECT_EQ(info.getLastErrorMsg(), "Field nNumber in key ~Present is not a string.");
    EXPECT_EQ(size, 32);
    EXPECT_EQ(info.getDirectory("Present", "nNumber", &text), 0);
    EXPECT_EQ(info.getLastErrorMsg(), "Field nNumber in key ~Present is not a string.");
    EXPECT_EQ(info.getMultiString("Present", "sText", buf, &size), 0);
    EXPECT_EQ(info.getLastErrorMsg(), "Field sText in key ~Present is not a REG_MULTI_SZ string.");
    EXPECT_EQ(text, "untouched");
    EXPECT_TRUE(Logged("Field sText in key ~Present is not a DWORD."));
    EXPECT_TRUE(Logged("Field nNumber in key ~Present is not a string."));

    ZNPlatformInfo quiet(0, 0);  // no log echo: kept as the last message only
    EXPECT_EQ(quiet.getNumber("Present", "sText", &number), 0);
    EXPECT_EQ(quiet.getLastErrorMsg(), "Field sText in key ~Present is not a DWORD.");
  }

  // Too small a buffer: -4 with the size needed (raw), or the size left as
  // it was (char* string read); the output untouched.
  {
    ZNPlatformInfo info;
    const std::string big(5000, 'q');
    ASSERT_TRUE(info.setString("Present", "sBig", big));
    const std::string logBeforeSmall = LogText();
    unsigned long type = 0;
    char raw[100];
    std::memset(raw, 'Z', sizeof raw);
    int size = sizeof raw;
    EXPECT_FALSE(info.getRegValue("~Present", "sBig", &type, raw, size));
    EXPECT_EQ(info.getRegError(), -4);
    EXPECT_EQ(size, 5001);
    char buf[100];
    std::memset(buf, 'Z', sizeof buf);
    size = sizeof buf;
    EXPECT_EQ(info.getString("Present", "sBig", buf, &size), 0);
    EXPECT_EQ(info.getRegError(), -4);
    EXPECT_EQ(size, 100);
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(100, 'Z'));
    EXPECT_EQ(info.getString("Present", "sBig", buf, 100), 0);
    EXPECT_EQ(info.getRegError(), -4);
    // "hello" needs 6 bytes: 5 are too few, 6 are enough.
    size = 5;
    EXPECT_EQ(info.getString("Present", "sText", buf, &size), 0);
    EXPECT_EQ(size, 5);
    size = 6;
    ASSERT_EQ(info.getString("Present", "sText", buf, &size), 1);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(size, 6);
    EXPECT_EQ(info.getLastErrorMsg(), "");
    EXPECT_EQ(LogText(), logBeforeSmall);

    std::string text;
    ASSERT_EQ(info.getString("Present", "sBig", &text), 1);
    EXPECT_EQ(text, big);
    EXPECT_EQ(info.getDirectory("Present", "sBig", &text), 0);  // a 1,025-byte buffer
    EXPECT_EQ(info.getRegError(), -4);
  }
}

TEST_F(ZNPlatformInfoValues, DefaultsAreWrittenOnFirstUse) {
  ZNPlatformInfo info;
  std::string out;
  EXPECT_EQ(info.getValue(std::string("Defaults"), std::string("sLevel"), out), 0);  // no default: fails
  EXPECT_EQ(info.getRegError(), -2);
  ASSERT_EQ(info.getValue(std::string("Defaults"), std::string("sLevel"), out, "7"), 1);
  EXPECT_EQ(out, "7");
  unsigned long type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadRaw("~Defaults", "sLevel", type, bytes));
  EXPECT_EQ(type, kZnRegString);
  EXPECT_EQ(bytes, Bytes("7\0", 2));

  // Once stored, the store's value wins over the default.
  ASSERT_TRUE(info.setString("Defaults", "sLevel", "8"));
  ASSERT_EQ(info.getValue(std::string("Defaults"), std::string("sLevel"), out, "7"), 1);
  EXPECT_EQ(out, "8");

  // The char* form copies at most `size` bytes of the default.
  char buf[4];
  int size = sizeof buf;
  ASSERT_EQ(info.getValue(std::string("Defaults"), std::string("sLong"), buf, size, "abcdef"), 1);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  ASSERT_TRUE(ReadRaw("~Defaults", "sLong", type, bytes));
  EXPECT_EQ(bytes, Bytes("abcdef\0", 7));
  char fits[16];
  size = sizeof fits;
  ASSERT_EQ(info.getValue(std::string("Defaults"), std::string("sLong"), fits, size, "zz"), 1);
  EXPECT_STREQ(fits, "abcdef");
  EXPECT_EQ(size, 7);

  // A read that fails for another reason (a number) also takes the default.
  ASSERT_TRUE(info.setNumber("Defaults", "nNumber", 3));
  ASSERT_EQ(info.getValue(std::string("Defaults"), std::string("nNumber"), out, "9"), 1);
  EXPECT_EQ(out, "9");
  ASSERT_TRUE(ReadRaw("~Defaults", "nNumber", type, bytes));
  EXPECT_EQ(type, kZnRegString);

  // When the default cannot be written, the read fails.
  ZNPlatformInfo unfocused{std::string("")};
  out = "kept";
  EXPECT_EQ(unfocused.getValue(std::string("Defaults"), std::string("sOther"), out, "1"), 0);
  EXPECT_EQ(out, "kept");
}

using ZNPlatformInfoWellKnown = ConfigTest;

TEST_F(ZNPlatformInfoWellKnown, PlatformTypeDebugLevelsInstancesAndMachineName) {
  ZNPlatformInfo info;
  EXPECT_EQ(info.getZNPlatformType(), 0u);  // absent
  ASSERT_TRUE(info.setNumber("Base", "nPLATTYPE", 1));
  EXPECT_EQ(info.getZNPlatformType(), 9u);
  ASSERT_TRUE(info.setNumber("Base", "nPLATTYPE", 0x1BF));
  EXPECT_EQ(info.getZNPlatformType(), 0x1BFu);
  ASSERT_TRUE(info.setNumber("Base", "nPLATTYPE", 64));
  EXPECT_EQ(info.getZNPlatformType(), 0u);
  EXPECT_EQ(info.getLastErrorMsg(), "Invalid platform type.");
  EXPECT_TRUE(Logged("Invalid platform type."));
  ASSERT_TRUE(info.setString("Base", "nPLATTYPE", "1"));
  EXPECT_EQ(info.getZNPlatformType(), 0u);  // not a number

  ASSERT_TRUE(info.setNumber("Base", "nLanguageID", 1033));
  EXPECT_EQ(info.GetLanguageID(), 1033);

  EXPECT_EQ(info.getAppDebugLevel("File System"), -1);
  ASSERT_TRUE(info.setNumber("EventManager", "File_System_DEBUGLEVEL", 5));
  EXPECT_EQ(info.getAppDebugLevel("File System"), 5);
  EXPECT_EQ(info.getAppDebugLevel("File\tSystem"), 5);
  ASSERT_TRUE(info.setNumber("EventManager", "File_System_DEBUGLEVEL", 0));
  EXPECT_EQ(info.getAppDebugLevel("File System"), -1);

  // The machine name: by platform bits, cached once found.
  ASSERT_TRUE(info.setString(nullptr, "sPhysicalNodeName", "node"));
  ASSERT_TRUE(info.setString("HubServe", "sHSCLIENTNAME", "hub-client"));
  ASSERT_TRUE(info.setString("HubNet", "sPNETNAME", "pnet"));
  ASSERT_TRUE(info.setNumber("Base", "nPLATTYPE", 0));
  ZNPlatformInfo plain;
  EXPECT_STREQ(plain.getPhysicalMachine(), "node");
  ASSERT_TRUE(info.setNumber("Base", "nPLATTYPE", 16));
  EXPECT_STREQ(plain.getPhysicalMachine(), "node");  // cached
  EXPECT_STREQ(ZNPlatformInfo().getPhysicalMachine(), "pnet");
  ASSERT_TRUE(info.setNumber("Base", "nPLATTYPE", 17));
  EXPECT_STREQ(ZNPlatformInfo().getPhysicalMachine(), "hub-client");

  // Instances: subkeys of the fixed root beginning with "Instance".
  for (const char* name : {"Instance002", "instance003", "InstanceX", "Other"}) {
    ASSERT_TRUE(info.createRegKey((std::string("SOFTWARE/Tessaly Systems/Orvane/") + name).c_str()));
  }
  std::vector<std::string> instances = {"kept"};
  ASSERT_EQ(info.GetAllInInstances(instances), 1);
  EXPECT_EQ(instances, (std::vector<std::string>{"kept", "Instance001", "Instance002", "InstanceX"}));

  // The product key taken as an absolute path.
  EXPECT_EQ(info.deletePlatformInfo(), 1);  // missing: still success
  ASSERT_EQ(info.createPlatformInfo(), 1);
  std::list<std::string> roots;
  ASSERT_TRUE(info.getRegSubKeysFromAbsPath("Orvane", &roots));
  EXPECT_EQ(info.deletePlatformInfo(), 1);
  EXPECT_FALSE(info.getRegSubKeysFromAbsPath("Orvane", &roots));
  EXPECT_EQ(info.getRegError(), -2);
  instances.clear();
  ASSERT_TRUE(info.delRegKey("SOFTWARE\\Tessaly Systems\\Orvane"));
  EXPECT_EQ(info.GetAllInInstances(instances), 0);
  EXPECT_TRUE(instances.empty());
}

TEST_F(ZNPlatformInfoWellKnown, ErrorsEchoToTheConsoleWhenAsked) {
  ZNPlatformInfo echo(1, 0);
  ASSERT_TRUE(echo.setString("S", "sText", "x"));
  const std::string logBefore = LogText();
  ::testing::internal::CaptureStdout();
  unsigned long number = 0;
  EXPECT_EQ(echo.getNumber("S", "sText", &number), 0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "ZNPlatformInfo::getRegInt(): Field sText in key ~S is not a DWORD.\n");
  EXPECT_EQ(LogText(), logBefore);  // log echo off

}

}  // namespace
