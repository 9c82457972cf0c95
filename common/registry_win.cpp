#include "registry_win.h"

#include "text_win.h"

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

namespace utf8 {

LONG OpenKey(HKEY root, const std::string& path, REGSAM access, UniqueKey& key) {
  HKEY raw = nullptr;
  const LONG rc = RegOpenKeyExW(root, FromUtf8(path).c_str(), 0, access, &raw);
  key.reset(rc == ERROR_SUCCESS ? raw : nullptr);
  return rc;
}

std::optional<std::string> QueryString(HKEY key, const std::string& name, DWORD maxUnits) {
  std::vector<wchar_t> data(maxUnits + 1, L'\0');
  DWORD size = maxUnits * sizeof(wchar_t);  // one NUL always stays
  if (RegQueryValueExW(key, FromUtf8(name).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                       &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return ToUtf8(data.data());
}

LONG SetString(HKEY key, const std::string& name, const std::string& value) {
  const std::wstring data = FromUtf8(value);
  return RegSetValueExW(key, FromUtf8(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

LONG DeleteValue(HKEY key, const std::string& name) { return RegDeleteValueW(key, FromUtf8(name).c_str()); }

LONG EnumValueName(HKEY key, DWORD index, std::string& name) {
  // 16,383 UTF-16 units are the registry's longest value name.
  std::vector<wchar_t> buffer(16384, L'\0');
  DWORD length = static_cast<DWORD>(buffer.size());
  const LONG rc = RegEnumValueW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
  name = rc == ERROR_SUCCESS ? ToUtf8(std::wstring_view(buffer.data(), length)) : std::string();
  return rc;
}

}  // namespace utf8

}  // namespace kit
