// Making a component fail at a configured rate. A component asks for a
// context by its name once, then asks at each point where it could fail
// whether to fail now. The store turns it on per name, in section
// "EventManager": "<name>_ErrorInjectionEnabled" (a number, non-zero: on)
// and "<name>_ErrorInjectionProbability" (a text such as "0.01"; 0.001 when
// absent or not a number strictly between 0 and 1). Settings are read when
// a name's context is first made.
#pragma once

#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include <boost/shared_ptr.hpp>

#include "zn/base/ZnCriticalSection.h"
#include "zn/base/ZnExport.h"
#include "zuzazer/CYqError.h"

namespace yq {
template <typename T>
class NoDestructor;
}  // namespace yq

namespace zn::detail {
struct InjectionContextAccess;
}  // namespace zn::detail

class ZN_EXPORT CErrorInjector {
 public:
  static constexpr double kDefaultProbability = 0.001;

  // One per component name, shared by every holder of the name.
  class ZN_EXPORT CContext {
   public:
    explicit CContext(const std::string& name);
    CContext(const CContext&) = delete;
    CContext& operator=(const CContext&) = delete;

    const std::string& getName() const { return m_name; }
    double getProbability() const { return m_probability; }
    int getRefCount() const;

   private:
    friend class CErrorInjector;
    friend struct zn::detail::InjectionContextAccess;

    int m_refCount = 1;  // guarded by the injector's lock
    std::string m_name;
    double m_probability = kDefaultProbability;
    std::mt19937 m_generator;  // guarded by m_lock
    ZnCriticalSection m_lock;
  };

  // The process's injector, made on first use.
  static CErrorInjector& Get();

  // The context of `name`, shared with earlier callers of the same name;
  // null when injection is off for the name.
  CContext* GetContext(const std::string& name);
  // True when an error should be injected now; false for a null context.
  bool InjectError(CContext* context);
  // Drops one reference (the last one destroys the context) and nulls the
  // caller's pointer.
  void ReleaseContext(CContext*& context);

  // A value of rand(), and an error made from one, for injection sites that
  // need a code or an error value.
  static int GenerateRandomInt();
  static CYqError GenerateRandomYqError();

  // The contexts alive now.
  std::size_t getContextCount();

 private:
  CErrorInjector() = default;
  friend class yq::NoDestructor<CErrorInjector>;

  std::map<std::string, boost::shared_ptr<CContext>> m_contexts;
  ZnCriticalSection m_lock;
};

namespace zn {

// The probability of a "_ErrorInjectionProbability" text: a decimal number
// with a point (blanks around it and a leading '+' allowed, exponents too),
// strictly between 0 and 1. Nullopt for anything else: "0,5", "2", "0",
// "1", "abc", "", "nan".
ZN_EXPORT std::optional<double> ParseInjectionProbability(std::string_view text);

}  // namespace zn
