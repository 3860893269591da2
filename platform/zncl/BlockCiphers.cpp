// The seven block ciphers: one context type, a table of what each algorithm
// is called in Botan and which keys it takes, and the C entry points made
// for each of them by one macro.
#include <botan/block_cipher.h>
#include <botan/des.h>
#include <botan/mem_ops.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "zncl/internal/Engine.h"
#include "zncl/zncl.h"

namespace zncl {
namespace {

enum class Algorithm { kBlowfish, kTwofish, kSerpent, kAes, kDes, kTripleDes, kGost };

struct AlgorithmInfo {
  const char* label;  // for messages
  std::size_t blockSize;
  bool fipsApproved;
};

AlgorithmInfo Info(Algorithm a) {
  switch (a) {
    case Algorithm::kBlowfish: return {"Blowfish", 8, false};
    case Algorithm::kTwofish: return {"Twofish", 16, false};
    case Algorithm::kSerpent: return {"Serpent", 16, false};
    case Algorithm::kAes: return {"AES", 16, true};
    case Algorithm::kDes: return {"DES", 8, false};
    case Algorithm::kTripleDes: return {"3DES", 8, false};
    case Algorithm::kGost: return {"GOST", 8, false};
  }
  return {"?", 0, false};
}

// The Botan algorithm for a key of `length` bytes, or null when the
// algorithm takes no such key.
const char* BotanName(Algorithm a, int length) {
  switch (a) {
    case Algorithm::kBlowfish: return length >= 1 && length <= 56 ? "Blowfish" : nullptr;
    case Algorithm::kTwofish: return length == 16 || length == 24 || length == 32 ? "Twofish" : nullptr;
    case Algorithm::kSerpent: return length == 16 || length == 24 || length == 32 ? "Serpent" : nullptr;
    case Algorithm::kAes:
      return length == 16 ? "AES-128" : length == 24 ? "AES-192" : length == 32 ? "AES-256" : nullptr;
    case Algorithm::kDes: return length == 8 ? "DES" : nullptr;
    case Algorithm::kTripleDes: return length == 16 || length == 24 ? "TripleDES" : nullptr;
    // The S-boxes of the GOST R 34.11-94 test parameters.
    case Algorithm::kGost: return length == 32 ? "GOST-28147-89(R3411_94_TestParam)" : nullptr;
  }
  return nullptr;
}

const char* KeyRule(Algorithm a) {
  switch (a) {
    case Algorithm::kBlowfish: return "1 to 56 bytes";
    case Algorithm::kTwofish:
    case Algorithm::kSerpent:
    case Algorithm::kAes: return "16, 24 or 32 bytes";
    case Algorithm::kDes: return "8 bytes";
    case Algorithm::kTripleDes: return "16 or 24 bytes";
    case Algorithm::kGost: return "32 bytes";
  }
  return "";
}

class CipherContext : public Context {
 public:
  static constexpr Kind kKind = Kind::kBlockCipher;
  explicit CipherContext(Algorithm a) : Context(kKind), algorithm(a), blockSize(Info(a).blockSize) {}

  Algorithm algorithm;
  std::size_t blockSize;
  std::unique_ptr<Botan::BlockCipher> cipher;  // made by set_key
};

// Checks a context of `a` that holds a key; null after recording why.
CipherContext* Keyed(void* handle, Algorithm a) {
  auto* c = As<CipherContext>(handle);
  if (c == nullptr || c->algorithm != a) {
    FailThread(kErrInvalidArgument, "Invalid or released cipher context handle");
    return nullptr;
  }
  if (!c->cipher) {
    Fail(c, kErrNoKey, std::string(Info(a).label) + " key has not been set");
    return nullptr;
  }
  return c;
}

void* Init(Algorithm a, int* errorNumber, char* error, int errorSize) {
  return Create(errorNumber, error, errorSize, [a] { return new CipherContext(a); });
}

int Destroy(void* ctx) {
  return Unregister(ctx, Kind::kBlockCipher) ? 0 : FailThread(kErrInvalidArgument, "Invalid cipher context handle");
}

int SetKey(Algorithm a, void* ctx, const void* key, int length) {
  auto* c = As<CipherContext>(ctx);
  if (c == nullptr || c->algorithm != a) return FailThread(kErrInvalidArgument, "Invalid cipher context handle");
  if (key == nullptr || length <= 0) return Fail(c, kErrInvalidArgument, "NULL or empty key");
  const char* name = BotanName(a, length);
  if (name == nullptr) {
    return Fail(c, kErrInvalidArgument,
                "Invalid " + std::string(Info(a).label) + " key length " + std::to_string(length) + " (must be " +
                    KeyRule(a) + ")");
  }
  return Call<CipherContext>(ctx, [&](CipherContext& cc) {
    auto cipher = Botan::BlockCipher::create_or_throw(name);
    cipher->set_key(static_cast<const uint8_t*>(key), static_cast<std::size_t>(length));
    cc.cipher = std::move(cipher);  // the old key schedule is wiped by its destructor
    return 0;
  });
}

int EcbEncrypt(Algorithm a, void* ctx, const void* in, void* out) {
  CipherContext* c = Keyed(ctx, a);
  if (c == nullptr) return -1;
  if (in == nullptr || out == nullptr) return Fail(c, kErrInvalidArgument, "NULL block pointer");
  c->cipher->encrypt(static_cast<const uint8_t*>(in), static_cast<uint8_t*>(out));
  return 0;
}

int EcbDecrypt(Algorithm a, void* ctx, const void* in, void* out) {
  CipherContext* c = Keyed(ctx, a);
  if (c == nullptr) return -1;
  if (in == nullptr || out == nullptr) return Fail(c, kErrInvalidArgument, "NULL block pointer");
  c->cipher->decrypt(static_cast<const uint8_t*>(in), static_cast<uint8_t*>(out));
  return 0;
}

int EcbEncryptBlocks(Algorithm a, void* ctx, const void* in, void* out, int blocks) {
  CipherContext* c = Keyed(ctx, a);
  if (c == nullptr) return -1;
  if (blocks < 0 || (blocks > 0 && (in == nullptr || out == nullptr))) {
    return Fail(c, kErrInvalidArgument, "NULL block pointer or negative block count");
  }
  c->cipher->encrypt_n(static_cast<const uint8_t*>(in), static_cast<uint8_t*>(out), static_cast<std::size_t>(blocks));
  return 0;
}

int EcbDecryptBlocks(Algorithm a, void* ctx, const void* in, void* out, int blocks) {
  CipherContext* c = Keyed(ctx, a);
  if (c == nullptr) return -1;
  if (blocks < 0 || (blocks > 0 && (in == nullptr || out == nullptr))) {
    return Fail(c, kErrInvalidArgument, "NULL block pointer or negative block count");
  }
  c->cipher->decrypt_n(static_cast<const uint8_t*>(in), static_cast<uint8_t*>(out), static_cast<std::size_t>(blocks));
  return 0;
}

int CheckCbcArguments(CipherContext* c, const void* in, int length, void* out, void* iv) {
  if (in == nullptr || out == nullptr || iv == nullptr) return Fail(c, kErrInvalidArgument, "NULL pointer argument");
  if (length < 0 || static_cast<std::size_t>(length) % c->blockSize != 0) {
    return Fail(c, kErrInvalidArgument,
                "CBC data length must be a multiple of " + std::to_string(c->blockSize) + " bytes");
  }
  return 0;
}

// Plain CBC without padding; the IV becomes the last cipher block.
int CbcEncrypt(Algorithm a, void* ctx, const void* in, int length, void* out, void* iv) {
  CipherContext* c = Keyed(ctx, a);
  if (c == nullptr || CheckCbcArguments(c, in, length, out, iv) != 0) return -1;
  const std::size_t b = c->blockSize;
  auto* chain = static_cast<uint8_t*>(iv);
  const auto* src = static_cast<const uint8_t*>(in);
  auto* dst = static_cast<uint8_t*>(out);
  uint8_t block[32];
  for (std::size_t off = 0; off < static_cast<std::size_t>(length); off += b) {
    Botan::xor_buf(block, src + off, chain, b);
    c->cipher->encrypt(block, dst + off);
    std::memcpy(chain, dst + off, b);
  }
  Botan::secure_scrub_memory(block, sizeof block);
  return 0;
}

int CbcDecrypt(Algorithm a, void* ctx, const void* in, int length, void* out, void* iv) {
  CipherContext* c = Keyed(ctx, a);
  if (c == nullptr || CheckCbcArguments(c, in, length, out, iv) != 0) return -1;
  const std::size_t b = c->blockSize;
  auto* chain = static_cast<uint8_t*>(iv);
  const auto* src = static_cast<const uint8_t*>(in);
  auto* dst = static_cast<uint8_t*>(out);
  // Batches of blocks go through the cipher together (it may run them in
  // parallel); the cipher text they chain on is kept aside first, since the
  // output may be the input.
  constexpr std::size_t kBatch = 64;
  uint8_t previous[kBatch * 16 + 16];
  for (std::size_t off = 0; off < static_cast<std::size_t>(length);) {
    const std::size_t n = std::min(kBatch, (static_cast<std::size_t>(length) - off) / b);
    std::memcpy(previous, chain, b);
    std::memcpy(previous + b, src + off, n * b);
    c->cipher->decrypt_n(src + off, dst + off, n);
    Botan::xor_buf(dst + off, previous, n * b);
    std::memcpy(chain, previous + n * b, b);
    off += n * b;
  }
  Botan::secure_scrub_memory(previous, sizeof previous);
  return 0;
}

// The 4 weak and 12 semi-weak keys of FIPS 74, with odd parity; parity bits
// are ignored in the comparison.
constexpr std::array<uint64_t, 16> kWeakDesKeys = {
    0x0101010101010101ull, 0xFEFEFEFEFEFEFEFEull, 0xE0E0E0E0F1F1F1F1ull, 0x1F1F1F1F0E0E0E0Eull,
    0x011F011F010E010Eull, 0x1F011F010E010E01ull, 0x01E001E001F101F1ull, 0xE001E001F101F101ull,
    0x01FE01FE01FE01FEull, 0xFE01FE01FE01FE01ull, 0x1FE01FE00EF10EF1ull, 0xE01FE01FF10EF10Eull,
    0x1FFE1FFE0EFE0EFEull, 0xFE1FFE1FFE0EFE0Eull, 0xE0FEE0FEF1FEF1FEull, 0xFEE0FEE0FEF1FEF1ull,
};

int DesIsKeyWeak(void* ctx, const void* key, int length) {
  auto* c = As<CipherContext>(ctx);
  if (c == nullptr || c->algorithm != Algorithm::kDes) {
    return FailThread(kErrInvalidArgument, "Invalid DES context handle");
  }
  if (key == nullptr || length != 8) {
    Fail(c, kErrInvalidArgument, "A DES key is 8 bytes long");
    return -1;
  }
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = (value << 8) | static_cast<const uint8_t*>(key)[i];
  constexpr uint64_t kNoParity = 0xFEFEFEFEFEFEFEFEull;
  for (uint64_t weak : kWeakDesKeys) {
    if ((weak & kNoParity) == (value & kNoParity)) return 1;
  }
  return 0;
}

}  // namespace
}  // namespace zncl

using zncl::Algorithm;

#define ZNCL_DEFINE_BLOCK_CIPHER(alg, algorithm)                                                       \
  void* zncl_##alg##_init(int* errorNumber, char* error, int errorSize) {                             \
    return zncl::Init(algorithm, errorNumber, error, errorSize);                                      \
  }                                                                                                   \
  int zncl_##alg##_destroy(void* ctx) { return zncl::Destroy(ctx); }                                  \
  int zncl_##alg##_set_key(void* ctx, const void* key, int length) {                                  \
    return zncl::SetKey(algorithm, ctx, key, length);                                                 \
  }                                                                                                   \
  int zncl_##alg##_ecb_encrypt(void* ctx, const void* in, void* out) {                                \
    return zncl::EcbEncrypt(algorithm, ctx, in, out);                                                 \
  }                                                                                                   \
  int zncl_##alg##_ecb_decrypt(void* ctx, const void* in, void* out) {                                \
    return zncl::EcbDecrypt(algorithm, ctx, in, out);                                                 \
  }                                                                                                   \
  int zncl_##alg##_ecb_encrypt_blocks(void* ctx, const void* in, void* out, int blocks) {             \
    return zncl::EcbEncryptBlocks(algorithm, ctx, in, out, blocks);                                   \
  }                                                                                                   \
  int zncl_##alg##_ecb_decrypt_blocks(void* ctx, const void* in, void* out, int blocks) {             \
    return zncl::EcbDecryptBlocks(algorithm, ctx, in, out, blocks);                                   \
  }                                                                                                   \
  int zncl_##alg##_cbc_encrypt(void* ctx, const void* in, int length, void* out, void* iv) {          \
    return zncl::CbcEncrypt(algorithm, ctx, in, length, out, iv);                                     \
  }                                                                                                   \
  int zncl_##alg##_cbc_decrypt(void* ctx, const void* in, int length, void* out, void* iv) {          \
    return zncl::CbcDecrypt(algorithm, ctx, in, length, out, iv);                                     \
  }                                                                                                   \
  int zncl_##alg##_is_fips_approved(void) { return zncl::Info(algorithm).fipsApproved ? 1 : 0; }

extern "C" {
ZNCL_DEFINE_BLOCK_CIPHER(blowfish, Algorithm::kBlowfish)
ZNCL_DEFINE_BLOCK_CIPHER(twofish, Algorithm::kTwofish)
ZNCL_DEFINE_BLOCK_CIPHER(serpent, Algorithm::kSerpent)
ZNCL_DEFINE_BLOCK_CIPHER(aes, Algorithm::kAes)
ZNCL_DEFINE_BLOCK_CIPHER(des, Algorithm::kDes)
ZNCL_DEFINE_BLOCK_CIPHER(3des, Algorithm::kTripleDes)
ZNCL_DEFINE_BLOCK_CIPHER(gost, Algorithm::kGost)

int zncl_des_is_key_weak(void* ctx, const void* key, int length) { return zncl::DesIsKeyWeak(ctx, key, length); }
}
