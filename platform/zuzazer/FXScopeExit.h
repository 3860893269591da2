// Runs a piece of clean-up when the scope ends, unless dismissed: for the
// few undo steps that have no owner type of their own.
#pragma once

#include <utility>

namespace yq {

template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F action) : m_action(std::move(action)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (m_armed) m_action();
  }
  // The step succeeded: nothing to undo.
  void dismiss() { m_armed = false; }

 private:
  F m_action;
  bool m_armed = true;
};

}  // namespace yq
