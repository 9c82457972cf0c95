#include "registrystore_win.h"

#include "registry_win.h"

namespace opos {

namespace {

constexpr DWORD kBuffer = 256;  // bytes for a value's name or data, NUL included

StoreStatus FromWin32(LONG rc) {
  switch (rc) {
    case ERROR_SUCCESS: return StoreStatus::kOk;
    case ERROR_NO_MORE_ITEMS: return StoreStatus::kNoMoreItems;
    case ERROR_FILE_NOT_FOUND: return StoreStatus::kNotFound;
    default: return StoreStatus::kFailed;
  }
}

class RegistryKey : public StoreKey {
 public:
  explicit RegistryKey(kit::UniqueKey key) : key_(std::move(key)) {}

  std::optional<std::string> QueryString(const std::string& name) override {
    // The buffer holds 255 characters and the NUL.
    return kit::QueryString(key_.get(), name.c_str(), kBuffer);
  }
  StoreStatus EnumValueName(std::uint32_t index, std::string& name) override {
    return FromWin32(kit::EnumValueName(key_.get(), index, name, kBuffer));
  }
  StoreStatus SetString(const std::string& name, const std::string& value) override {
    return FromWin32(kit::SetString(key_.get(), name.c_str(), value));
  }
  StoreStatus DeleteValue(const std::string& name) override {
    return FromWin32(kit::DeleteValue(key_.get(), name.c_str()));
  }

 private:
  kit::UniqueKey key_;
};

}  // namespace

std::unique_ptr<StoreKey> RegistryStore::OpenKey(const std::string& path, Access access) {
  // Reading needs no more than read access, so a user without the right to
  // write still sees what is registered; writes ask for the right to set values.
  const REGSAM sam = access == Access::kRead ? KEY_READ : KEY_READ | KEY_SET_VALUE;
  kit::UniqueKey key;
  if (kit::OpenKey(HKEY_LOCAL_MACHINE, path, sam, key) != ERROR_SUCCESS) return nullptr;
  return std::make_unique<RegistryKey>(std::move(key));
}

}  // namespace opos
