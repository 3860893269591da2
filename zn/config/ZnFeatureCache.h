// Feature switches ("Features"/<name>) of one instance, read once and then
// answered from memory until refreshed. One cache may be shared by threads.
#pragma once

#include <string>
#include <unordered_map>

#include "zn/base/ZnCriticalSection.h"
#include "zn/base/ZnExport.h"

class ZN_EXPORT ZnFeatureCache {
 public:
  explicit ZnFeatureCache(const std::string& instance);
  ZnFeatureCache(const ZnFeatureCache&) = delete;
  ZnFeatureCache& operator=(const ZnFeatureCache&) = delete;

  // The cached answer; the first question of a feature reads the store.
  bool IsFeatureEnabled(const std::string& feature);
  // Reads the store anew and caches that answer.
  bool IsFeatureEnabledUpdated(const std::string& feature);
  // Forgets every answer.
  void RefreshCache();

 private:
  bool readFeature(const std::string& feature) const;

  std::unordered_map<std::string, bool> m_features;
  ZnCriticalSection m_lock;
  const std::string m_instance;
};
