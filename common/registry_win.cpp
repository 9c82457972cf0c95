#include "registry_win.h"

#include <vector>

namespace kit {

LONG OpenKey(HKEY root, const std::string& path, REGSAM access, UniqueKey& key) {
  HKEY h = nullptr;
  const LONG rc = RegOpenKeyExA(root, path.c_str(), 0, access, &h);
  key.reset(rc == ERROR_SUCCESS ? h : nullptr);
  return rc;
}

LONG CreateKey(HKEY root, const std::string& path, REGSAM access, UniqueKey& key) {
  HKEY h = nullptr;
  const LONG rc =
      RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &h, nullptr);
  key.reset(rc == ERROR_SUCCESS ? h : nullptr);
  return rc;
}

LONG DeleteTree(HKEY root, const std::string& path) {
  // RegDeleteTree empties the key; the key itself goes with RegDeleteKey.
  LONG rc = RegDeleteTreeA(root, path.c_str());
  if (rc == ERROR_SUCCESS) rc = RegDeleteKeyA(root, path.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

std::optional<std::string> QueryString(HKEY key, const char* name, DWORD capacity) {
  std::vector<char> buffer(capacity + 1, '\0');
  DWORD size = capacity;
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(buffer.data());  // the extra byte keeps it terminated
}

LONG SetString(HKEY key, const char* name, const std::string& value) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
}

LONG DeleteValue(HKEY key, const char* name) { return RegDeleteValueA(key, name); }

LONG EnumValueName(HKEY key, DWORD index, std::string& name, DWORD capacity) {
  std::vector<char> buffer(capacity + 1, '\0');
  DWORD length = capacity;
  const LONG rc = RegEnumValueA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
  name = rc == ERROR_SUCCESS ? std::string(buffer.data(), length) : std::string();
  return rc;
}

std::optional<DWORD> QueryDword(HKEY key, const char* name) {
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return std::nullopt;
  }
  return value;
}

LONG SetDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

}  // namespace kit
