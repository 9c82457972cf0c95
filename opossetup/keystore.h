// The little a registration needs from a registry: open a key by path below
// HKEY_LOCAL_MACHINE, read a string value, list value names by index, write
// a string value, delete a value, and compare two value names the way the
// registry does. The Win32 registry (registrystore_win, one store per
// registry view) and an in-memory store (memorystore, for tests) answer it.
//
// Names and data are UTF-8. A value name may be as long as the registry
// allows (16,383 UTF-16 units) and is always read whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace opos {

enum class StoreStatus {
  kOk,
  kNoMoreItems,  // enumeration: past the last value
  kNotFound,     // no such key or value
  kDenied,       // access denied: the user may not do this (not an administrator)
  kFailed,       // anything else: name too long, ...
};

// The longest value name the registry takes, in UTF-16 units.
inline constexpr std::size_t kMaxValueNameUnits = 16383;
// String data longer than this (UTF-16 units, NUL excluded) reads as
// missing: the kit's own values are short, and a longer value is never one
// of them.
inline constexpr std::size_t kMaxDataUnits = 255;

// One open key; closed when the object goes.
class StoreKey {
 public:
  virtual ~StoreKey() = default;
  // The value's data as text ("" names the default value); nothing when the
  // value is missing or cannot be read.
  virtual std::optional<std::string> QueryString(const std::string& name) = 0;
  // The whole name of the value at `index` (0-based, in the key's own order).
  virtual StoreStatus EnumValueName(std::uint32_t index, std::string& name) = 0;
  // Writes a string value (REG_SZ); creates it or replaces its data. A value
  // whose name the registry takes as the same keeps its own spelling.
  virtual StoreStatus SetString(const std::string& name, const std::string& value) = 0;
  virtual StoreStatus DeleteValue(const std::string& name) = 0;
  // A REG_DWORD value; nothing when it is missing or of another type.
  virtual std::optional<std::uint32_t> QueryDword(const std::string& name) = 0;
  virtual StoreStatus SetDword(const std::string& name, std::uint32_t value) = 0;
};

enum class Access { kRead, kReadWrite };

class KeyStore {
 public:
  virtual ~KeyStore() = default;
  // Opens an existing key; null when it is missing (`status` kNotFound) or
  // may not be opened (kDenied, kFailed).
  virtual std::unique_ptr<StoreKey> OpenKey(const std::string& path, Access access, StoreStatus& status) = 0;
  std::unique_ptr<StoreKey> OpenKey(const std::string& path, Access access) {
    StoreStatus status;
    return OpenKey(path, access, status);
  }
  // Whether two value names name the same value: the registry compares
  // names ordinally and without regard to case, over all of Unicode.
  virtual bool SameName(const std::string& a, const std::string& b) const = 0;
};

}  // namespace opos
