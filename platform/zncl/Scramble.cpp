// The scrambling primitive: ChaCha20 under a key built into the engine, with
// a random 8-byte nonce as the stream's header. It hides data from casual
// reading; it is not a protection against anyone who has the engine.
#include <botan/stream_cipher.h>
#include <botan/system_rng.h>

#include <cstring>
#include <memory>

#include "zncl/internal/Engine.h"
#include "zncl/zncl.h"

namespace zncl {
namespace {

constexpr int kHeaderSize = 8;
constexpr uint8_t kScrambleKey[32] = {0x5a, 0x6e, 0x63, 0x6c, 0x2d, 0x73, 0x63, 0x72, 0x61, 0x6d, 0x62,
                                      0x6c, 0x65, 0x2d, 0x6b, 0x65, 0x79, 0x91, 0x3e, 0x07, 0xc4, 0x28,
                                      0xb5, 0x6d, 0xe2, 0x10, 0x7f, 0x33, 0x9a, 0x4c, 0x58, 0xd1};

class ScrambleContext : public Context {
 public:
  static constexpr Kind kKind = Kind::kScramble;
  ScrambleContext() : Context(kKind), cipher(Botan::StreamCipher::create_or_throw("ChaCha(20)")) {
    cipher->set_key(kScrambleKey, sizeof kScrambleKey);
  }
  void start(const uint8_t* nonce) { cipher->set_iv(nonce, kHeaderSize); }

  std::unique_ptr<Botan::StreamCipher> cipher;
};

ScrambleContext* StateOf(void** state) {
  return state != nullptr && *state != nullptr ? As<ScrambleContext>(*state) : nullptr;
}

// Ends the stream when the caller asks for it, whatever the outcome.
void Finish(void** state, int flags) {
  if ((flags & ZNCL_SCRAMBLE_FINAL) == 0 || state == nullptr || *state == nullptr) return;
  Unregister(*state, Kind::kScramble);
  *state = nullptr;
}

int Process(bool scramble, const void* in, int length, void* out, int outSize, int flags, void** state) {
  if (state == nullptr) return FailThread(kErrInvalidArgument, "NULL state pointer");
  if (length < 0 || (length > 0 && in == nullptr) || out == nullptr || outSize < 0) {
    return FailThread(kErrInvalidArgument, "NULL buffer or negative length");
  }
  if (*state != nullptr && StateOf(state) == nullptr) return FailThread(kErrInvalidArgument, "Invalid stream state");
  const bool first = *state == nullptr;
  const auto* src = static_cast<const uint8_t*>(in);
  auto* dst = static_cast<uint8_t*>(out);
  int header = 0;
  if (first) {
    if (!scramble && length < kHeaderSize) return FailThread(kErrBadData, "Scrambled data is shorter than its header");
    header = kHeaderSize;
  }
  const int body = scramble ? length : length - header;
  const int needed = scramble ? body + header : body;
  if (outSize < needed) {
    return FailThread(kErrBufferTooSmall, "Output buffer too small: " + std::to_string(needed) + " bytes needed");
  }
  try {
    if (first) {
      AttachThread();
      auto context = std::make_unique<ScrambleContext>();
      uint8_t nonce[kHeaderSize];
      if (scramble) {
        Botan::system_rng().randomize(nonce, sizeof nonce);
        std::memcpy(dst, nonce, sizeof nonce);
      } else {
        std::memcpy(nonce, src, sizeof nonce);
      }
      context->start(nonce);
      Register(context.get());
      *state = context.release();
    }
    ScrambleContext* c = StateOf(state);
    if (scramble) {
      c->cipher->cipher(src, dst + header, static_cast<std::size_t>(body));
    } else {
      c->cipher->cipher(src + header, dst, static_cast<std::size_t>(body));
    }
  } catch (const std::exception& e) {
    FailThread(kErrAlgorithm, e.what());
    Finish(state, ZNCL_SCRAMBLE_FINAL);
    return -1;
  }
  Finish(state, flags);
  return needed;
}

}  // namespace
}  // namespace zncl

extern "C" {

int zncl_scramble(const void* in, int length, void* out, int outSize, int flags, void** state) {
  return zncl::Process(true, in, length, out, outSize, flags, state);
}

int zncl_descramble(const void* in, int length, void* out, int outSize, int flags, void** state) {
  return zncl::Process(false, in, length, out, outSize, flags, state);
}

// Releases what the engine handed out: an unfinished scramble stream.
void zncl_free_mem(void* memory) {
  if (memory != nullptr) zncl::Unregister(memory, zncl::Kind::kScramble);
}

}  // extern "C"
