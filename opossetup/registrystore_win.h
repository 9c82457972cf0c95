// The key store on the Windows registry, below HKEY_LOCAL_MACHINE, in one of
// its views.
#pragma once

#include <windows.h>

#include "keystore.h"

namespace opos {

class RegistryStore : public KeyStore {
 public:
  // `view`: 0 for the program's own view; KEY_WOW64_32KEY or KEY_WOW64_64KEY
  // for the other one.
  explicit RegistryStore(REGSAM view = 0) : view_(view) {}

  using KeyStore::OpenKey;
  std::unique_ptr<StoreKey> OpenKey(const std::string& path, Access access, StoreStatus& status) override;
  bool SameName(const std::string& a, const std::string& b) const override;

  // Whether this Windows has a second view: a 64-bit program (its other
  // view is the 32-bit one), or a 32-bit program on 64-bit Windows.
  static bool OtherViewExists();
  // The other view's flag and its name for messages.
#ifdef _WIN64
  static constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
  static constexpr const char* kOtherViewName = "32-bit";
#else
  static constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
  static constexpr const char* kOtherViewName = "64-bit";
#endif

 private:
  REGSAM view_;
};

}  // namespace opos
