// Which installed instance and product a process works for. Read once per
// process from the environment (ZN_FOCUS, ZN_PRODUCT, ZN_PRODUCT_TYPE,
// ZN_REMOTE_CELL, ZN_CLIENT_NAME, ZN_PSEUDO_CLIENT_NAME, ZN_SERVICE) and
// overridable through the static setters.
#pragma once

#include "zuzazer/YqExport.h"

// Product types; callers rely on 2 and 3 only (see the README's docs).
enum TESSALY_PRODUCT_TYPE {
  TESSALY_PRODUCT_TYPE_DEFAULT = 0,
  TESSALY_PRODUCT_TYPE_CLIENT = 1,
  TESSALY_PRODUCT_TYPE_HUBNET = 2,
  TESSALY_PRODUCT_TYPE_NO_INSTANCE = 3,
};

class YQ_EXPORT ZNPI_Focus {
 public:
  ZNPI_Focus() = default;
  ~ZNPI_Focus() = default;

  // The instance name; null when no focus is set, "" when it is set empty.
  static const char* getFocus();
  static const char* getProductName();
  static TESSALY_PRODUCT_TYPE getProductType();
  static const char* getRemoteHubCellFocus();
  static const char* getFocusClientName(bool refresh);
  static const char* getFocusPseudoClientName();
  static int AmIAService();

  // Ends the operation that found the focus unusable: writes the reason to
  // stderr and the system log, and returns. With ZN_CRASH_ON_BAD_FOCUS=1 in
  // the environment the process is aborted instead.
  static void doCrashThisProcess(bool crash, const char* message);

  // Overrides (null focus means "no focus").
  static void setFocus(const char* focus);
  static void setProductName(const char* name);
  static void setProductType(TESSALY_PRODUCT_TYPE type);
  static void setRemoteHubCellFocus(const char* focus);
  static void setFocusClientName(const char* name);
  static void setFocusPseudoClientName(const char* name);
  static void setAmIAService(int service);

  // Forgets every override and reads the environment again.
  static void reload();
};
