// AES-256/GCM under the machine key; the blob's header is also the
// associated data, so a changed version or magic fails the tag too.
#include "zndataprotect.h"

#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include <botan/aead.h>
#include <botan/system_rng.h>

#include "MachineKeyFile.h"

namespace {

constexpr unsigned char kHeader[] = {'Z', 'N', 'D', 'P', 1};
constexpr size_t kHeaderBytes = sizeof kHeader;
constexpr size_t kNonceBytes = 12;
constexpr size_t kTagBytes = 16;
constexpr size_t kOverhead = kHeaderBytes + kNonceBytes + kTagBytes;

thread_local std::string t_error;

int Fail(std::string text) {
  t_error = std::move(text);
  return 0;
}

bool FitsOut(unsigned char* out, size_t* outLen, size_t needed) {
  const bool fits = out != nullptr && *outLen >= needed;
  *outLen = needed;
  return fits;
}

}  // namespace

extern "C" int znProtectData(const char* keyFile, const unsigned char* in, size_t inLen, unsigned char* out,
                             size_t* outLen) {
  if (keyFile == nullptr || outLen == nullptr || (in == nullptr && inLen > 0)) return Fail("Invalid arguments");
  if (!FitsOut(out, outLen, kOverhead + inLen)) return Fail("The output buffer is too small");
  try {
    Botan::secure_vector<uint8_t> key;
    std::string error;
    if (!zndp::LoadMachineKey(keyFile, true, key, error)) return Fail(error);
    const auto mode = Botan::AEAD_Mode::create_or_throw("AES-256/GCM", Botan::ENCRYPTION);
    mode->set_key(key);
    mode->set_associated_data(kHeader, kHeaderBytes);
    uint8_t nonce[kNonceBytes];
    Botan::system_rng().randomize(nonce, kNonceBytes);
    mode->start(nonce, kNonceBytes);
    Botan::secure_vector<uint8_t> buffer(in, in + inLen);
    mode->finish(buffer);
    std::memcpy(out, kHeader, kHeaderBytes);
    std::memcpy(out + kHeaderBytes, nonce, kNonceBytes);
    std::memcpy(out + kHeaderBytes + kNonceBytes, buffer.data(), buffer.size());
    return 1;
  } catch (const std::exception& e) {
    return Fail(std::string("Protection failed: ") + e.what());
  }
}

extern "C" int znUnprotectData(const char* keyFile, const unsigned char* in, size_t inLen, unsigned char* out,
                               size_t* outLen) {
  if (keyFile == nullptr || outLen == nullptr || in == nullptr) return Fail("Invalid arguments");
  if (inLen < kOverhead || std::memcmp(in, kHeader, 4) != 0) return Fail("Not a protected blob");
  if (in[4] != kHeader[4]) return Fail("Unknown protected blob version " + std::to_string(in[4]));
  if (!FitsOut(out, outLen, inLen - kOverhead)) return Fail("The output buffer is too small");
  try {
    Botan::secure_vector<uint8_t> key;
    std::string error;
    if (!zndp::LoadMachineKey(keyFile, false, key, error)) return Fail(error);
    const auto mode = Botan::AEAD_Mode::create_or_throw("AES-256/GCM", Botan::DECRYPTION);
    mode->set_key(key);
    mode->set_associated_data(kHeader, kHeaderBytes);
    mode->start(in + kHeaderBytes, kNonceBytes);
    Botan::secure_vector<uint8_t> buffer(in + kHeaderBytes + kNonceBytes, in + inLen);
    mode->finish(buffer);
    if (!buffer.empty()) std::memcpy(out, buffer.data(), buffer.size());
    return 1;
  } catch (const Botan::Invalid_Authentication_Tag&) {
    return Fail("The protected blob does not authenticate under this machine's key");
  } catch (const std::exception& e) {
    return Fail(std::string("Unprotection failed: ") + e.what());
  }
}

extern "C" const char* znDataProtectError(void) { return t_error.c_str(); }
