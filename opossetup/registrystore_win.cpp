#include "registrystore_win.h"

#include "registry_win.h"
#include "text_win.h"

namespace opos {

namespace {

StoreStatus FromWin32(LONG rc) {
  switch (rc) {
    case ERROR_SUCCESS: return StoreStatus::kOk;
    case ERROR_NO_MORE_ITEMS: return StoreStatus::kNoMoreItems;
    case ERROR_FILE_NOT_FOUND: return StoreStatus::kNotFound;
    case ERROR_ACCESS_DENIED: return StoreStatus::kDenied;
    default: return StoreStatus::kFailed;
  }
}

// Names and data through the wide calls as UTF-8, so that a custom name
// keeps every character it has.
class RegistryKey : public StoreKey {
 public:
  explicit RegistryKey(kit::UniqueKey key) : key_(std::move(key)) {}

  std::optional<std::string> QueryString(const std::string& name) override {
    return kit::utf8::QueryString(key_.get(), name, kMaxDataUnits);
  }
  StoreStatus EnumValueName(std::uint32_t index, std::string& name) override {
    return FromWin32(kit::utf8::EnumValueName(key_.get(), index, name));
  }
  StoreStatus SetString(const std::string& name, const std::string& value) override {
    return FromWin32(kit::utf8::SetString(key_.get(), name, value));
  }
  StoreStatus DeleteValue(const std::string& name) override {
    return FromWin32(kit::utf8::DeleteValue(key_.get(), name));
  }
  std::optional<std::uint32_t> QueryDword(const std::string& name) override {
    return kit::QueryDword(key_.get(), name.c_str());
  }
  StoreStatus SetDword(const std::string& name, std::uint32_t value) override {
    return FromWin32(kit::SetDword(key_.get(), name.c_str(), value));
  }

 private:
  kit::UniqueKey key_;
};

}  // namespace

std::unique_ptr<StoreKey> RegistryStore::OpenKey(const std::string& path, Access access, StoreStatus& status) {
  // Reading needs no more than read access, so a user without the right to
  // write still sees what is registered; writes ask for the right to set values.
  const REGSAM sam = (access == Access::kRead ? KEY_READ : KEY_READ | KEY_SET_VALUE) | view_;
  kit::UniqueKey key;
  status = FromWin32(kit::utf8::OpenKey(HKEY_LOCAL_MACHINE, path, sam, key));
  if (status != StoreStatus::kOk) return nullptr;
  return std::make_unique<RegistryKey>(std::move(key));
}

bool RegistryStore::SameName(const std::string& a, const std::string& b) const {
  const std::wstring x = kit::FromUtf8(a), y = kit::FromUtf8(b);
  return CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(), static_cast<int>(y.size()), TRUE) ==
         CSTR_EQUAL;
}

bool RegistryStore::OtherViewExists() {
#ifdef _WIN64
  return true;
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

}  // namespace opos
