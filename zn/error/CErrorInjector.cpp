#include "zn/error/CErrorInjector.h"

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <system_error>

#include <boost/make_shared.hpp>

#include "zn/error/ErrorTesting.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXNoDestructor.h"

namespace zn::detail {

struct InjectionContextAccess {
  static void Seed(CErrorInjector::CContext& context, unsigned int seed) {
    ZnCriticalSectionLock lock(&context.m_lock);
    context.m_generator.seed(seed);
  }
};

}  // namespace zn::detail

namespace {

constexpr const char* kGetContext = "CErrorInjector::GetContext";

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Every context draws its own sequence; a machine without a random device
// still gets a different one per context.
void SeedFromRandomDevice(std::mt19937& generator) {
  try {
    std::random_device device;
    std::seed_seq seeds{device(), device(), device(), device(), device(), device(), device(), device()};
    generator.seed(seeds);
  } catch (const std::exception&) {
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto where = reinterpret_cast<unsigned long long>(&generator);
    std::seed_seq seeds{static_cast<unsigned>(now), static_cast<unsigned>(now >> 32), static_cast<unsigned>(where),
                        static_cast<unsigned>(where >> 32)};
    generator.seed(seeds);
  }
}

}  // namespace

std::optional<double> zn::ParseInjectionProbability(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  if (!(value > 0.0 && value < 1.0)) return std::nullopt;
  return value;
}

void zn::testing::SeedInjectionContext(CErrorInjector::CContext* context, unsigned int seed) {
  if (context != nullptr) zn::detail::InjectionContextAccess::Seed(*context, seed);
}

CErrorInjector::CContext::CContext(const std::string& name) : m_name(name) { SeedFromRandomDevice(m_generator); }

int CErrorInjector::CContext::getRefCount() const {
  ZnCriticalSectionLock lock(&CErrorInjector::Get().m_lock);
  return m_refCount;
}

CErrorInjector& CErrorInjector::Get() {
  static yq::NoDestructor<CErrorInjector> injector;
  return injector.get();
}

CErrorInjector::CContext* CErrorInjector::GetContext(const std::string& name) {
  std::string refused;
  CContext* made = nullptr;
  {
    ZnCriticalSectionLock lock(&m_lock);
    const auto found = m_contexts.find(name);
    if (found != m_contexts.end()) {
      ++found->second->m_refCount;
      return found->second.get();
    }
    if (zn::LogSettings::Number(zn::LogSettings::kEventManager, name + "_ErrorInjectionEnabled").value_or(0) == 0) {
      return nullptr;
    }
    auto context = boost::make_shared<CContext>(name);
    const std::string text =
        zn::LogSettings::Text(zn::LogSettings::kEventManager, name + "_ErrorInjectionProbability").value_or("0.001");
    const std::optional<double> probability = zn::ParseInjectionProbability(text);
    context->m_probability = probability.value_or(kDefaultProbability);
    if (!probability) refused = text;
    made = context.get();
    m_contexts.emplace(name, std::move(context));
  }
  EvDebug log;
  if (!refused.empty()) {
    log.Error(kGetContext, "Error injection probability [%s] of [%s] is not a number between 0 and 1. Using [%g]",
              refused.c_str(), name.c_str(), kDefaultProbability);
  }
  log.DebugLvl(kGetContext, 1, "Error injection for [%s] is on with probability [%g]", name.c_str(),
               made->m_probability);
  return made;
}

bool CErrorInjector::InjectError(CContext* context) {
  if (context == nullptr) return false;
  double draw;
  {
    ZnCriticalSectionLock lock(&context->m_lock);
    draw = std::generate_canonical<double, std::numeric_limits<double>::digits>(context->m_generator);
  }
  return context->m_probability > draw;
}

void CErrorInjector::ReleaseContext(CContext*& context) {
  if (context != nullptr) {
    ZnCriticalSectionLock lock(&m_lock);
    if (--context->m_refCount < 1) m_contexts.erase(context->m_name);
  }
  context = nullptr;
}

int CErrorInjector::GenerateRandomInt() { return std::rand(); }

CYqError CErrorInjector::GenerateRandomYqError() { return FXErrorUtil::ErrorInt(FX_CODE_LOCATION, std::rand()); }

std::size_t CErrorInjector::getContextCount() {
  ZnCriticalSectionLock lock(&m_lock);
  return m_contexts.size();
}
