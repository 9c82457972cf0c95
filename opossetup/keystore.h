// The little a registration needs from a registry: open a key by path below
// HKEY_LOCAL_MACHINE, read a string value, list value names by index, write
// a string value, delete a value. The Win32 registry (registrystore_win) and
// an in-memory store (memorystore, for tests) answer it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace opos {

enum class StoreStatus {
  kOk,
  kNoMoreItems,  // enumeration: past the last value
  kNotFound,     // no such value
  kFailed,       // anything else: access denied, data too long, ...
};

// One open key; closed when the object goes.
class StoreKey {
 public:
  virtual ~StoreKey() = default;
  // The value's data as text ("" names the default value); nothing when the
  // value is missing or cannot be read.
  virtual std::optional<std::string> QueryString(const std::string& name) = 0;
  // The name of the value at `index` (0-based, in the key's own order).
  virtual StoreStatus EnumValueName(std::uint32_t index, std::string& name) = 0;
  // Writes a string value (REG_SZ); creates it or replaces its data.
  virtual StoreStatus SetString(const std::string& name, const std::string& value) = 0;
  virtual StoreStatus DeleteValue(const std::string& name) = 0;
};

enum class Access { kRead, kReadWrite };

class KeyStore {
 public:
  virtual ~KeyStore() = default;
  // Opens an existing key; null when it is missing or may not be opened.
  virtual std::unique_ptr<StoreKey> OpenKey(const std::string& path, Access access) = 0;
};

// Case-insensitive ASCII comparison, as the registry compares key and value names.
bool SameName(const std::string& a, const std::string& b);

}  // namespace opos
