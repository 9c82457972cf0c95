// The key store on the Windows registry, below HKEY_LOCAL_MACHINE.
#pragma once

#include "keystore.h"

namespace opos {

class RegistryStore : public KeyStore {
 public:
  std::unique_ptr<StoreKey> OpenKey(const std::string& path, Access access) override;
};

}  // namespace opos
