// Finding and binding the engine: from the library's folder, from the home
// folder when the first place has none, and the messages when it cannot.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <type_traits>

#include "crypto/CryptoTestUtil.h"
#include "helpers/TempDir.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/crypto/CryptoTesting.h"
#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_zncl.h"
#include "zncl/zncl.h"
#include "znfocus/ZNPI_Focus.h"

namespace zn::test {
namespace {

// The binding's pointer types are the engine's own signatures.
static_assert(std::is_same_v<Zncl::InitFn, decltype(&zncl_init)>);
static_assert(std::is_same_v<Zncl::LastErrorFn, decltype(&zncl_get_last_error)>);
static_assert(std::is_same_v<Zncl::CtxInitFn, decltype(&zncl_aes_init)>);
static_assert(std::is_same_v<Zncl::CbcFn, decltype(&zncl_3des_cbc_encrypt)>);
static_assert(std::is_same_v<Zncl::BlocksFn, decltype(&zncl_gost_ecb_decrypt_blocks)>);
static_assert(std::is_same_v<Zncl::SetKeyFn, decltype(&zncl_des_is_key_weak)>);
static_assert(std::is_same_v<Zncl::DataFn, decltype(&zncl_sha512_hmac_init)>);
static_assert(std::is_same_v<Zncl::DigestOutFn, decltype(&zncl_md5_final)>);
static_assert(std::is_same_v<Zncl::PemPriFn, decltype(&zncl_rsa_set_pri_key_pem)>);
static_assert(std::is_same_v<Zncl::RsaCryptFn, decltype(&zncl_rsa_decrypt)>);
static_assert(std::is_same_v<Zncl::SignFn, decltype(&zncl_rsa_sign)>);
static_assert(std::is_same_v<Zncl::VerifyFn, decltype(&zncl_rsa_verify)>);
static_assert(std::is_same_v<Zncl::GetKeyFn, decltype(&zncl_rsa_get_pub_key_der)>);
static_assert(std::is_same_v<Zncl::GetFn, decltype(&zncl_frand_get)>);
static_assert(std::is_same_v<Zncl::ScrambleFn, decltype(&zncl_descramble)>);

class ZnclLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Zncl::init();
    m_engine = Zncl::getLibraryPath();
    Zncl::destroy();
  }
  void TearDown() override {
    Zncl::destroy();
    zn::testing::SetEngineDirectory(nullptr);
    ZNPI_Focus::reload();
  }
  static std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

  std::string m_engine;
};

TEST_F(ZnclLoadTest, LoadsFromTheLibrarysOwnFolder) {
  ASSERT_FALSE(m_engine.empty());
  EXPECT_TRUE(std::filesystem::exists(m_engine));
  EXPECT_EQ("libzncl.so", m_engine.substr(m_engine.find_last_of('/') + 1));
  Zncl::init();
  EXPECT_TRUE(Zncl::isLoaded());
  int major = 0;
  int minor = 0;
  EXPECT_EQ(0, Zncl::get_version(&major, &minor));
  EXPECT_EQ(0, Zncl::get_status());
  Zncl::init();  // idempotent
  EXPECT_EQ(m_engine, Zncl::getLibraryPath());
  ZncAES aes;
  aes.setKey(Hex("000102030405060708090a0b0c0d0e0f"));
  EXPECT_EQ("69c4e0d86a7b0430d8cdb78070b4c55a", HexOf(aes.encECB(Hex("00112233445566778899aabbccddeeff"))));
}

TEST_F(ZnclLoadTest, LoadsFromTheHomeFolderWhenTheFirstFolderHasNone) {
  TempDir empty;
  TempDir home;
  std::filesystem::copy_file(m_engine, home.file("libzncl.so"));
  ASSERT_NE(0, ZNPlatformInfo(0, 0).setString("Base", "dBASEHOME", home.path()));
  zn::testing::SetEngineDirectory(empty.path().c_str());
  ZncAES aes;  // loads the engine
  EXPECT_EQ(home.file("libzncl.so"), Zncl::getLibraryPath());
  aes.setKey(Hex("000102030405060708090a0b0c0d0e0f"));
  EXPECT_EQ("69c4e0d86a7b0430d8cdb78070b4c55a", HexOf(aes.encECB(Hex("00112233445566778899aabbccddeeff"))));
}

TEST_F(ZnclLoadTest, MissingEngineGivesTheLoadMessageAndLoadsLater) {
  TempDir empty;
  zn::testing::SetEngineDirectory(empty.path().c_str());
  ZNPI_Focus::setFocus(nullptr);  // no home folder is searched without a focus
  try {
    ZncAES aes;
    FAIL() << "constructed without an engine";
  } catch (const ZnException& e) {
    const std::string prefix = "Failed to load zncl.dll from [" + empty.path() + "]: ";
    EXPECT_EQ(prefix, std::string(e.getMessage()).substr(0, prefix.size()));
    EXPECT_NE(std::string::npos, std::string(e.getMessage()).find("libzncl.so")) << e.getMessage();
    EXPECT_STREQ("Zncl::init", e.getFuncName());
  }
  EXPECT_FALSE(Zncl::isLoaded());
  ExpectThrowText([] { zn::testing::SetEngineDirectory(""); Zncl::init(); }, "Don't know where to load zncl.dll from");

  zn::testing::SetEngineDirectory(nullptr);
  ZncAES aes;  // the next attempt finds it
  EXPECT_TRUE(Zncl::isLoaded());
}

TEST_F(ZnclLoadTest, HomeFolderIsNamedInTheMessageWhenNeitherHasIt) {
  TempDir empty;
  TempDir home;
  ASSERT_NE(0, ZNPlatformInfo(0, 0).setString("Base", "dBASEHOME", home.path()));
  zn::testing::SetEngineDirectory(empty.path().c_str());
  try {
    Zncl::init();
    FAIL();
  } catch (const ZnException& e) {
    const std::string prefix = "Failed to load zncl.dll from [" + empty.path() + ", " + home.path() + "]: ";
    EXPECT_EQ(prefix, std::string(e.getMessage()).substr(0, prefix.size()));
  }
}

TEST_F(ZnclLoadTest, EngineMissingAnEntryPointIsNamedAndNotKept) {
  zn::testing::SetEngineDirectory(ZN_TEST_INCOMPLETE_ENGINE_DIR);
  ZNPI_Focus::setFocus(nullptr);
  ExpectThrowText([] { Zncl::init(); },
                  std::string("Failed to resolve zncl_get_last_error in ") + ZN_TEST_INCOMPLETE_ENGINE_DIR + "/libzncl.so",
                  "Zncl::init");
  EXPECT_FALSE(Zncl::isLoaded());
  EXPECT_EQ(nullptr, Zncl::zncl_init) << "nothing of a refused engine is kept";
  EXPECT_EQ(nullptr, Zncl::aes_ecb_encrypt);
}

}  // namespace
}  // namespace zn::test
