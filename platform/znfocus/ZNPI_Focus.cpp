#include "znfocus/ZNPI_Focus.h"

#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zuzazer/FXNoDestructor.h"

namespace {

// Texts handed out as const char* stay valid until their value is replaced;
// replaced texts are kept, so a pointer a caller still holds never dangles.
// That also lets readers load a slot without the lock: every store read
// asks for the focus, and a setter only ever swaps in a new text.
class FocusState {
 public:
  FocusState() { load(); }

  void load() {
    std::lock_guard<std::mutex> lock(m_mutex);
    publish(m_focus, text(env("ZN_FOCUS")));
    publish(m_product, text(env("ZN_PRODUCT") != nullptr ? env("ZN_PRODUCT") : "Orvane"));
    publish(m_remoteCell, text(env("ZN_REMOTE_CELL") != nullptr ? env("ZN_REMOTE_CELL") : ""));
    publish(m_clientName, text(env("ZN_CLIENT_NAME") != nullptr ? env("ZN_CLIENT_NAME") : ""));
    publish(m_pseudoClientName, text(env("ZN_PSEUDO_CLIENT_NAME") != nullptr ? env("ZN_PSEUDO_CLIENT_NAME") : ""));
    m_productType.store(static_cast<TESSALY_PRODUCT_TYPE>(number(env("ZN_PRODUCT_TYPE"), 0)),
                        std::memory_order_relaxed);
    m_service.store(number(env("ZN_SERVICE"), 0), std::memory_order_relaxed);
  }

  const char* focus() { return get(m_focus); }
  const char* product() { return get(m_product); }
  const char* remoteCell() { return get(m_remoteCell); }
  const char* clientName() { return get(m_clientName); }
  const char* pseudoClientName() { return get(m_pseudoClientName); }
  TESSALY_PRODUCT_TYPE productType() const { return m_productType.load(std::memory_order_relaxed); }
  int service() const { return m_service.load(std::memory_order_relaxed); }

  void setFocus(const char* value) { set(m_focus, value); }
  void setProduct(const char* value) { set(m_product, value != nullptr ? value : "Orvane"); }
  void setRemoteCell(const char* value) { set(m_remoteCell, value != nullptr ? value : ""); }
  void setClientName(const char* value) { set(m_clientName, value != nullptr ? value : ""); }
  void setPseudoClientName(const char* value) { set(m_pseudoClientName, value != nullptr ? value : ""); }
  void setProductType(TESSALY_PRODUCT_TYPE type) { m_productType.store(type, std::memory_order_relaxed); }
  void setService(int service) { m_service.store(service, std::memory_order_relaxed); }

 private:
  static const char* env(const char* name) { return std::getenv(name); }

  static int number(const char* value, int fallback) {
    if (value == nullptr) return fallback;
    int result = fallback;
    const char* end = value + std::strlen(value);
    const auto parsed = std::from_chars(value, end, result);
    return parsed.ec == std::errc() && parsed.ptr == end ? result : fallback;
  }

  // A stored text; null stays null.
  const std::string* text(const char* value) {
    if (value == nullptr) return nullptr;
    m_texts.push_back(std::make_unique<std::string>(value));
    return m_texts.back().get();
  }

  using Slot = std::atomic<const std::string*>;

  static const char* get(const Slot& slot) {
    const std::string* current = slot.load(std::memory_order_acquire);
    return current != nullptr ? current->c_str() : nullptr;
  }

  static void publish(Slot& slot, const std::string* value) { slot.store(value, std::memory_order_release); }

  void set(Slot& slot, const char* value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string* current = slot.load(std::memory_order_relaxed);
    if (value != nullptr && current != nullptr && *current == value) return;
    publish(slot, text(value));
  }

  std::mutex m_mutex;  // writers, and m_texts
  std::vector<std::unique_ptr<std::string>> m_texts;  // every text ever handed out
  Slot m_focus{nullptr};
  Slot m_product{nullptr};
  Slot m_remoteCell{nullptr};
  Slot m_clientName{nullptr};
  Slot m_pseudoClientName{nullptr};
  std::atomic<TESSALY_PRODUCT_TYPE> m_productType{TESSALY_PRODUCT_TYPE_DEFAULT};
  std::atomic<int> m_service{0};
};

FocusState& State() {
  static yq::NoDestructor<FocusState> state;
  return state.get();
}

}  // namespace

const char* ZNPI_Focus::getFocus() { return State().focus(); }
const char* ZNPI_Focus::getProductName() { return State().product(); }
TESSALY_PRODUCT_TYPE ZNPI_Focus::getProductType() { return State().productType(); }
const char* ZNPI_Focus::getRemoteHubCellFocus() { return State().remoteCell(); }
const char* ZNPI_Focus::getFocusClientName(bool /*refresh*/) { return State().clientName(); }
const char* ZNPI_Focus::getFocusPseudoClientName() { return State().pseudoClientName(); }
int ZNPI_Focus::AmIAService() { return State().service(); }

void ZNPI_Focus::doCrashThisProcess(bool crash, const char* message) {
  const std::string text = std::string("Focus problem: ") +
                           (message != nullptr ? message : "the process focus is set but empty");
  ::syslog(LOG_DAEMON | LOG_ERR, "%s", text.c_str());
  (void)::write(STDERR_FILENO, (text + "\n").c_str(), text.size() + 1);
  const char* abortSetting = std::getenv("ZN_CRASH_ON_BAD_FOCUS");
  if (crash && abortSetting != nullptr && std::strcmp(abortSetting, "1") == 0) std::abort();
}

void ZNPI_Focus::setFocus(const char* focus) { State().setFocus(focus); }
void ZNPI_Focus::setProductName(const char* name) { State().setProduct(name); }
void ZNPI_Focus::setProductType(TESSALY_PRODUCT_TYPE type) { State().setProductType(type); }
void ZNPI_Focus::setRemoteHubCellFocus(const char* focus) { State().setRemoteCell(focus); }
void ZNPI_Focus::setFocusClientName(const char* name) { State().setClientName(name); }
void ZNPI_Focus::setFocusPseudoClientName(const char* name) { State().setPseudoClientName(name); }
void ZNPI_Focus::setAmIAService(int service) { State().setService(service); }
void ZNPI_Focus::reload() { State().load(); }
