#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "zn/base/ZnCriticalSection.h"
#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/internal/ZnclState.h"
#include "zn/crypto/znc_zncl.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "zn/thread/ZnThread.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/CYqLibrary.h"
#include "zuzazer/FXNoDestructor.h"

// ---- The entry points ----
Zncl::InitFn Zncl::zncl_init = nullptr;
Zncl::DestroyFn Zncl::zncl_destroy = nullptr;
Zncl::LastErrorFn Zncl::get_last_error = nullptr;
Zncl::LastErrnoFn Zncl::get_last_errno = nullptr;
Zncl::StatusFn Zncl::get_status = nullptr;
Zncl::VersionFn Zncl::get_version = nullptr;
Zncl::FreeMemFn Zncl::free_mem = nullptr;
Zncl::CleanupThreadFn Zncl::cleanup_thread_ctx = nullptr;

#define ZNCL_DEFINE_CIPHER(p)                              \
  Zncl::CtxInitFn Zncl::p##_init = nullptr;                \
  Zncl::CtxDestroyFn Zncl::p##_destroy = nullptr;          \
  Zncl::SetKeyFn Zncl::p##_set_key = nullptr;              \
  Zncl::BlockFn Zncl::p##_ecb_encrypt = nullptr;           \
  Zncl::BlockFn Zncl::p##_ecb_decrypt = nullptr;           \
  Zncl::CbcFn Zncl::p##_cbc_encrypt = nullptr;             \
  Zncl::CbcFn Zncl::p##_cbc_decrypt = nullptr;             \
  Zncl::BlocksFn Zncl::p##_ecb_encrypt_blocks = nullptr;    \
  Zncl::BlocksFn Zncl::p##_ecb_decrypt_blocks = nullptr;
ZNCL_DEFINE_CIPHER(blowfish)
ZNCL_DEFINE_CIPHER(twofish)
ZNCL_DEFINE_CIPHER(serpent)
ZNCL_DEFINE_CIPHER(aes)
ZNCL_DEFINE_CIPHER(des)
ZNCL_DEFINE_CIPHER(des3)
ZNCL_DEFINE_CIPHER(gost)
#undef ZNCL_DEFINE_CIPHER
Zncl::SetKeyFn Zncl::des_is_key_weak = nullptr;

#define ZNCL_DEFINE_DIGEST(p)                    \
  Zncl::CtxInitFn Zncl::p##_init = nullptr;      \
  Zncl::CtxDestroyFn Zncl::p##_destroy = nullptr; \
  Zncl::DataFn Zncl::p##_update = nullptr;       \
  Zncl::DigestOutFn Zncl::p##_final = nullptr;   \
  Zncl::CtxFn Zncl::p##_reset = nullptr;         \
  Zncl::DataFn Zncl::p##_hmac_init = nullptr;    \
  Zncl::DataFn Zncl::p##_hmac_update = nullptr;  \
  Zncl::DigestOutFn Zncl::p##_hmac_final = nullptr;
ZNCL_DEFINE_DIGEST(md5)
ZNCL_DEFINE_DIGEST(sha1)
ZNCL_DEFINE_DIGEST(sha256)
ZNCL_DEFINE_DIGEST(sha512)
#undef ZNCL_DEFINE_DIGEST

Zncl::CtxInitFn Zncl::rsa_init = nullptr;
Zncl::CtxDestroyFn Zncl::rsa_destroy = nullptr;
Zncl::DataFn Zncl::rsa_set_pri_key = nullptr;
Zncl::PemPriFn Zncl::rsa_set_pri_key_pem = nullptr;
Zncl::DataFn Zncl::rsa_set_pri_key_der = nullptr;
Zncl::DataFn Zncl::rsa_set_pub_key = nullptr;
Zncl::PemPubFn Zncl::rsa_set_pub_key_pem = nullptr;
Zncl::DataFn Zncl::rsa_set_pub_key_der = nullptr;
Zncl::GenFn Zncl::rsa_gen_key_pair = nullptr;
Zncl::GetKeyFn Zncl::rsa_get_pri_key = nullptr;
Zncl::GetKeyFn Zncl::rsa_get_pri_key_der = nullptr;
Zncl::GetKeyFn Zncl::rsa_get_pub_key = nullptr;
Zncl::GetKeyFn Zncl::rsa_get_pub_key_der = nullptr;
Zncl::ModSizeFn Zncl::rsa_get_mod_size = nullptr;
Zncl::PaddingFn Zncl::rsa_enable_padding = nullptr;
Zncl::RsaCryptFn Zncl::rsa_encrypt = nullptr;
Zncl::RsaCryptFn Zncl::rsa_decrypt = nullptr;
Zncl::SignFn Zncl::rsa_sign = nullptr;
Zncl::VerifyFn Zncl::rsa_verify = nullptr;
Zncl::CtxInitFn Zncl::twister_init = nullptr;
Zncl::CtxDestroyFn Zncl::twister_destroy = nullptr;
Zncl::DataFn Zncl::twister_seed = nullptr;
Zncl::GetFn Zncl::twister_get = nullptr;
Zncl::CtxInitFn Zncl::frand_init = nullptr;
Zncl::CtxDestroyFn Zncl::frand_destroy = nullptr;
Zncl::DataFn Zncl::frand_seed = nullptr;
Zncl::GetFn Zncl::frand_get = nullptr;
Zncl::IterateFn Zncl::sha256_hmac_iterate = nullptr;
Zncl::ScrambleFn Zncl::scramble = nullptr;
Zncl::ScrambleFn Zncl::descramble = nullptr;

namespace zn::detail {
namespace {

constexpr const char* kInit = "Zncl::init";
constexpr std::size_t kModulePathLimit = 4096;
constexpr int kErrorBufferSize = 1024;

struct EntryPoint {
  const char* name;  // exported name
  void** slot;
  bool required;
};

template <class F>
void** Slot(F& pointer) {
  return reinterpret_cast<void**>(&pointer);
}

// In the order they are resolved; the first missing required one is named.
std::vector<EntryPoint> EntryPoints() {
  std::vector<EntryPoint> table = {
      {"zncl_init", Slot(Zncl::zncl_init), true},
      {"zncl_destroy", Slot(Zncl::zncl_destroy), true},
      {"zncl_get_last_error", Slot(Zncl::get_last_error), true},
      {"zncl_get_last_errno", Slot(Zncl::get_last_errno), true},
      {"zncl_get_status", Slot(Zncl::get_status), true},
      {"zncl_get_version", Slot(Zncl::get_version), true},
      {"zncl_free_mem", Slot(Zncl::free_mem), true},
      {"zncl_cleanup_thread_ctx", Slot(Zncl::cleanup_thread_ctx), true},
  };
#define ZNCL_CIPHER_ENTRIES(exported, member)                                          \
  table.push_back({"zncl_" exported "_init", Slot(Zncl::member##_init), true});               \
  table.push_back({"zncl_" exported "_destroy", Slot(Zncl::member##_destroy), true});         \
  table.push_back({"zncl_" exported "_set_key", Slot(Zncl::member##_set_key), true});         \
  table.push_back({"zncl_" exported "_ecb_encrypt", Slot(Zncl::member##_ecb_encrypt), true}); \
  table.push_back({"zncl_" exported "_ecb_decrypt", Slot(Zncl::member##_ecb_decrypt), true}); \
  table.push_back({"zncl_" exported "_cbc_encrypt", Slot(Zncl::member##_cbc_encrypt), true}); \
  table.push_back({"zncl_" exported "_cbc_decrypt", Slot(Zncl::member##_cbc_decrypt), true}); \
  table.push_back({"zncl_" exported "_ecb_encrypt_blocks", Slot(Zncl::member##_ecb_encrypt_blocks), false}); \
  table.push_back({"zncl_" exported "_ecb_decrypt_blocks", Slot(Zncl::member##_ecb_decrypt_blocks), false});
  ZNCL_CIPHER_ENTRIES("blowfish", blowfish)
  ZNCL_CIPHER_ENTRIES("twofish", twofish)
  ZNCL_CIPHER_ENTRIES("serpent", serpent)
  ZNCL_CIPHER_ENTRIES("aes", aes)
  ZNCL_CIPHER_ENTRIES("des", des)
  ZNCL_CIPHER_ENTRIES("3des", des3)
  ZNCL_CIPHER_ENTRIES("gost", gost)
#undef ZNCL_CIPHER_ENTRIES
  table.push_back({"zncl_des_is_key_weak", Slot(Zncl::des_is_key_weak), true});
#define ZNCL_DIGEST_ENTRIES(p)                                                       \
  table.push_back({"zncl_" #p "_init", Slot(Zncl::p##_init), true});               \
  table.push_back({"zncl_" #p "_destroy", Slot(Zncl::p##_destroy), true});         \
  table.push_back({"zncl_" #p "_update", Slot(Zncl::p##_update), true});           \
  table.push_back({"zncl_" #p "_final", Slot(Zncl::p##_final), true});             \
  table.push_back({"zncl_" #p "_reset", Slot(Zncl::p##_reset), true});             \
  table.push_back({"zncl_" #p "_hmac_init", Slot(Zncl::p##_hmac_init), true});     \
  table.push_back({"zncl_" #p "_hmac_update", Slot(Zncl::p##_hmac_update), true}); \
  table.push_back({"zncl_" #p "_hmac_final", Slot(Zncl::p##_hmac_final), true});
  ZNCL_DIGEST_ENTRIES(md5)
  ZNCL_DIGEST_ENTRIES(sha1)
  ZNCL_DIGEST_ENTRIES(sha256)
  ZNCL_DIGEST_ENTRIES(sha512)
#undef ZNCL_DIGEST_ENTRIES
#define ZNCL_ENTRY(p) table.push_back({"zncl_" #p, Slot(Zncl::p), true});
  ZNCL_ENTRY(rsa_init)
  ZNCL_ENTRY(rsa_destroy)
  ZNCL_ENTRY(rsa_set_pri_key)
  ZNCL_ENTRY(rsa_set_pri_key_pem)
  ZNCL_ENTRY(rsa_set_pri_key_der)
  ZNCL_ENTRY(rsa_set_pub_key)
  ZNCL_ENTRY(rsa_set_pub_key_pem)
  ZNCL_ENTRY(rsa_set_pub_key_der)
  ZNCL_ENTRY(rsa_gen_key_pair)
  ZNCL_ENTRY(rsa_get_pri_key)
  ZNCL_ENTRY(rsa_get_pri_key_der)
  ZNCL_ENTRY(rsa_get_pub_key)
  ZNCL_ENTRY(rsa_get_pub_key_der)
  ZNCL_ENTRY(rsa_get_mod_size)
  ZNCL_ENTRY(rsa_enable_padding)
  ZNCL_ENTRY(rsa_encrypt)
  ZNCL_ENTRY(rsa_decrypt)
  ZNCL_ENTRY(rsa_sign)
  ZNCL_ENTRY(rsa_verify)
  ZNCL_ENTRY(twister_init)
  ZNCL_ENTRY(twister_destroy)
  ZNCL_ENTRY(twister_seed)
  ZNCL_ENTRY(twister_get)
  ZNCL_ENTRY(frand_init)
  ZNCL_ENTRY(frand_destroy)
  ZNCL_ENTRY(frand_seed)
  ZNCL_ENTRY(frand_get)
#undef ZNCL_ENTRY
  table.push_back({"zncl_sha256_hmac_iterate", Slot(Zncl::sha256_hmac_iterate), true});
  table.push_back({"zncl_scramble", Slot(Zncl::scramble), true});
  table.push_back({"zncl_descramble", Slot(Zncl::descramble), true});
  return table;
}

// The binding's process-wide state, never destroyed (threads may end while
// the process exits).
struct Binding {
  ZnCriticalSection lock;
  CYqLibrary library;
  std::string path;
  std::optional<std::string> searchOverride;
  std::atomic<bool> loaded{false};
};

Binding& TheBinding() {
  static yq::NoDestructor<Binding> binding;
  return binding.get();
}

}  // namespace

// The folder of the shared object that holds this code.
std::string LibraryDirectory() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&Zncl::init), &info) == 0 || info.dli_fname == nullptr) return std::string();
  std::string path(info.dli_fname, ::strnlen(info.dli_fname, kModulePathLimit));
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string HomeFolder() {
  std::string home = zn::LogSettings::HomeDirectory();
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

namespace {

std::vector<std::string> CandidateDirectories(const Binding& b) {
  std::vector<std::string> folders;
  std::string own = b.searchOverride ? *b.searchOverride : LibraryDirectory();
  if (!own.empty()) folders.push_back(own);
  if (ZNPI_Focus::getFocus() != nullptr) {
    std::string home = HomeFolder();
    if (!home.empty()) folders.push_back(std::move(home));
  }
  return folders;
}

void ClearEntryPoints() {
  for (const EntryPoint& e : EntryPoints()) *e.slot = nullptr;
}

const char* StatusText(int status) {
  switch (status) {
    case 0: return "LOADED";
    case 1: return "Running in FIPS Mode";
    case 2: return "POST are running";
    case 3: return "ERROR STATE";
    default: return "Unknown status";
  }
}

void LogAlgorithms(const CYqLibrary& library) {
  EvDebug log;
  log.Debug(kInit, "ZNCL: %s", StatusText(Zncl::get_status()));
  static constexpr std::pair<const char*, const char*> kAlgorithms[] = {
      {"3DES", "zncl_3des_is_fips_approved"},
      {"AES", "zncl_aes_is_fips_approved"},
      {"Blowfish", "zncl_blowfish_is_fips_approved"},
      {"DES", "zncl_des_is_fips_approved"},
      {"GOST", "zncl_gost_is_fips_approved"},
      {"RSA sign/verify", "zncl_rsa_sign_is_fips_approved"},
      {"RSA encrypt/decrypt", "zncl_rsa_encdec_is_fips_approved"},
      {"Serpent", "zncl_serpent_is_fips_approved"},
      {"Twofish", "zncl_twofish_is_fips_approved"},
      {"SHA1", "zncl_sha1_is_fips_approved"},
      {"SHA256", "zncl_sha256_is_fips_approved"},
      {"SHA512", "zncl_sha512_is_fips_approved"},
      {"MD5", "zncl_md5_is_fips_approved"},
  };
  for (const auto& [label, symbol] : kAlgorithms) {
    void* address = nullptr;
    if (library.GetAddress(symbol, address).IsError() || address == nullptr) continue;
    const bool approved = reinterpret_cast<Zncl::FipsApprovedFn>(address)() != 0;
    log.Debug(kInit, "   %s: %sFIPS-approved", label, approved ? "" : "Not ");
  }
}

void LoadLocked(Binding& b) {
  const std::vector<std::string> folders = CandidateDirectories(b);
  if (folders.empty()) ThrowCryptoError(kInit, "Don't know where to load zncl.dll from");

  const std::string fileName = CYqLibrary::GetLibraryNameForName("zncl");
  std::string lastError;
  std::string loadedPath;
  for (const std::string& folder : folders) {
    const std::string candidate = folder + "/" + fileName;
    const CYqError error = b.library.Load(candidate);
    if (!error.IsError()) {
      loadedPath = candidate;
      break;
    }
    lastError = error.AsString(eErrorOutputUser);
  }
  if (loadedPath.empty()) {
    std::string joined;
    for (const std::string& folder : folders) joined += (joined.empty() ? "" : ", ") + folder;
    ThrowCryptoError(kInit, "Failed to load zncl.dll from [" + joined + "]: " + lastError);
  }

  for (const EntryPoint& e : EntryPoints()) {
    void* address = nullptr;
    if (b.library.GetAddress(e.name, address).IsError() || address == nullptr) {
      if (!e.required) continue;
      ClearEntryPoints();
      b.library.Free();
      ThrowCryptoError(kInit, std::string("Failed to resolve ") + e.name + " in " + loadedPath);
    }
    *e.slot = address;
  }

  char error[kErrorBufferSize] = {};
  if (Zncl::zncl_init(loadedPath.c_str(), error, sizeof error) != 0) {
    ClearEntryPoints();
    b.library.Free();
    ThrowCryptoError(kInit, std::string("Failed to initialize ZNCL library: ") + error);
  }
  b.path = loadedPath;
  b.loaded.store(true, std::memory_order_release);
  if (ZNPI_Focus::getFocus() != nullptr) LogAlgorithms(b.library);
}

}  // namespace

void SetEngineSearchOverride(std::optional<std::string> folder) {
  Binding& b = TheBinding();
  ZnCriticalSectionLock hold(&b.lock);
  b.searchOverride = std::move(folder);
}

}  // namespace zn::detail

void Zncl::init() {
  zn::detail::Binding& b = zn::detail::TheBinding();
  if (b.loaded.load(std::memory_order_acquire)) return;
  {
    ZnCriticalSectionLock hold(&b.lock);
    if (b.loaded.load(std::memory_order_relaxed)) return;
    zn::detail::LoadLocked(b);
  }
  // Outside our lock: thread-exit callbacks run under the callback list's
  // lock, so taking ours inside it must never meet the opposite order.
  ZnThread::addAtExitCB(&Zncl::cleanupThreadCtx, nullptr);
}

void Zncl::destroy() {
  zn::detail::Binding& b = zn::detail::TheBinding();
  ZnThread::delAtExitCB(&Zncl::cleanupThreadCtx, nullptr);
  ZnCriticalSectionLock hold(&b.lock);
  if (!b.loaded.load(std::memory_order_relaxed)) return;
  zn::detail::ReleaseRandomContext();
  b.loaded.store(false, std::memory_order_release);
  zncl_destroy();
  zn::detail::ClearEntryPoints();
  b.library.Free();
  b.path.clear();
}

// Runs on every ending thread under the callback list's lock, so it takes
// no lock of its own; the engine stays loaded while threads run.
void Zncl::cleanupThreadCtx(void* /*unused*/) {
  if (zn::detail::TheBinding().loaded.load(std::memory_order_acquire)) cleanup_thread_ctx();
}

bool Zncl::isLoaded() { return zn::detail::TheBinding().loaded.load(std::memory_order_acquire); }

std::string Zncl::getLibraryPath() {
  zn::detail::Binding& b = zn::detail::TheBinding();
  ZnCriticalSectionLock hold(&b.lock);
  return b.path;
}

// The engine goes when the library is unloaded.
namespace {
__attribute__((destructor)) void ReleaseEngineAtUnload() { Zncl::destroy(); }
}  // namespace
