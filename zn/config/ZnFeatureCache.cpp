#include "zn/config/ZnFeatureCache.h"

#include "zn/config/ZNPlatformInfo.h"

ZnFeatureCache::ZnFeatureCache(const std::string& instance) : m_instance(instance) {}

bool ZnFeatureCache::readFeature(const std::string& feature) const {
  return ZNPlatformInfo(m_instance).IsFeatureEnabled(feature.c_str()) != 0;
}

bool ZnFeatureCache::IsFeatureEnabled(const std::string& feature) {
  ZnCriticalSectionLock lock(&m_lock);
  if (const auto found = m_features.find(feature); found != m_features.end()) return found->second;
  const bool enabled = readFeature(feature);
  m_features.emplace(feature, enabled);
  return enabled;
}

bool ZnFeatureCache::IsFeatureEnabledUpdated(const std::string& feature) {
  ZnCriticalSectionLock lock(&m_lock);
  const bool enabled = readFeature(feature);
  m_features[feature] = enabled;
  return enabled;
}

void ZnFeatureCache::RefreshCache() {
  ZnCriticalSectionLock lock(&m_lock);
  m_features.clear();
}
