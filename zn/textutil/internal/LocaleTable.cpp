#include "zn/textutil/internal/LocaleTable.h"

#include <cstdlib>
#include <initializer_list>
#include <cstring>

namespace zn::detail {
namespace {

using enum DateOrder;

// Orders and separators as the suite's platform sets them for each locale.
constexpr LocaleLayout kLayouts[] = {
    {1025, "ar_SA", kDayMonthYear, '/', ':'}, {1028, "zh_TW", kYearMonthDay, '/', ':'},
    {1029, "cs_CZ", kDayMonthYear, '.', ':'}, {1030, "da_DK", kDayMonthYear, '-', ':'},
    {1031, "de_DE", kDayMonthYear, '.', ':'}, {1032, "el_GR", kDayMonthYear, '/', ':'},
    {1033, "en_US", kMonthDayYear, '/', ':'}, {1034, "es_ES", kDayMonthYear, '/', ':'},
    {1035, "fi_FI", kDayMonthYear, '.', '.'}, {1036, "fr_FR", kDayMonthYear, '/', ':'},
    {1037, "he_IL", kDayMonthYear, '/', ':'}, {1038, "hu_HU", kYearMonthDay, '.', ':'},
    {1040, "it_IT", kDayMonthYear, '/', ':'}, {1041, "ja_JP", kYearMonthDay, '/', ':'},
    {1042, "ko_KR", kYearMonthDay, '-', ':'}, {1043, "nl_NL", kDayMonthYear, '-', ':'},
    {1044, "nb_NO", kDayMonthYear, '.', ':'}, {1045, "pl_PL", kDayMonthYear, '.', ':'},
    {1046, "pt_BR", kDayMonthYear, '/', ':'}, {1049, "ru_RU", kDayMonthYear, '.', ':'},
    {1053, "sv_SE", kYearMonthDay, '-', ':'}, {1054, "th_TH", kDayMonthYear, '/', ':'},
    {1055, "tr_TR", kDayMonthYear, '.', ':'}, {1066, "vi_VN", kDayMonthYear, '/', ':'},
    {1081, "hi_IN", kDayMonthYear, '-', ':'}, {2052, "zh_CN", kYearMonthDay, '/', ':'},
    {2055, "de_CH", kDayMonthYear, '.', ':'}, {2057, "en_GB", kDayMonthYear, '/', ':'},
    {2060, "fr_BE", kDayMonthYear, '/', ':'}, {2067, "nl_BE", kDayMonthYear, '/', ':'},
    {2070, "pt_PT", kDayMonthYear, '/', ':'}, {3079, "de_AT", kDayMonthYear, '.', ':'},
    {3081, "en_AU", kDayMonthYear, '/', ':'}, {3082, "es_ES", kDayMonthYear, '/', ':'},
    {3084, "fr_CA", kYearMonthDay, '-', ':'}, {4105, "en_CA", kYearMonthDay, '-', ':'},
    {4108, "fr_CH", kDayMonthYear, '.', ':'}, {5129, "en_NZ", kDayMonthYear, '/', ':'},
    {6153, "en_IE", kDayMonthYear, '/', ':'}, {127, "C", kMonthDayYear, '/', ':'},
};

constexpr unsigned long kUserDefault = 1024;
constexpr unsigned long kSystemDefault = 2048;
constexpr unsigned long kFallback = 1033;

const LocaleLayout* ById(unsigned long lcid) {
  for (const LocaleLayout& layout : kLayouts) {
    if (layout.lcid == lcid) return &layout;
  }
  return nullptr;
}

// "de_DE.UTF-8" and "de_DE@euro" name de_DE.
const LocaleLayout* FromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] == '\0') continue;
    const std::size_t length = std::strcspn(value, ".@");
    for (const LocaleLayout& layout : kLayouts) {
      if (std::strlen(layout.name) == length && std::strncmp(layout.name, value, length) == 0) return &layout;
    }
    break;
  }
  return ById(kFallback);
}

}  // namespace

const LocaleLayout* FindLocaleLayout(unsigned long lcid) {
  if (lcid == kUserDefault || lcid == kSystemDefault) return FromEnvironment();
  return ById(lcid);
}

}  // namespace zn::detail
