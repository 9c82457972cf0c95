// The one registry wrapper of the kit. Keys and values are 8-bit ANSI text,
// as the OPOS tree and the COM registration are written and read by name.
// Every call answers the Win32 error code (ERROR_SUCCESS on success), so a
// caller can tell a missing value from a refused write.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "handle_win.h"

namespace kit {

// Opens `path` under `root`; `key` is empty when the call fails.
LONG OpenKey(HKEY root, const std::string& path, REGSAM access, UniqueKey& key);
// Opens or creates `path` under `root`.
LONG CreateKey(HKEY root, const std::string& path, REGSAM access, UniqueKey& key);
// Deletes `path` with everything below it; a missing key is not an error.
LONG DeleteTree(HKEY root, const std::string& path);

// A value read as text whatever its registry type says, cut at the first
// NUL, at most `capacity` bytes read; nothing when the query fails (missing
// value, or data longer than `capacity`).
std::optional<std::string> QueryString(HKEY key, const char* name, DWORD capacity = 256);
// Writes a REG_SZ value including its terminating NUL. `name` nullptr or ""
// is the key's default value.
LONG SetString(HKEY key, const char* name, const std::string& value);
LONG DeleteValue(HKEY key, const char* name);
// The name of the value at `index`; ERROR_NO_MORE_ITEMS past the last one.
LONG EnumValueName(HKEY key, DWORD index, std::string& name, DWORD capacity = 256);
// A REG_DWORD value; nothing when it is missing or of another type or size.
std::optional<DWORD> QueryDword(HKEY key, const char* name);
LONG SetDword(HKEY key, const char* name, DWORD value);

// The same operations on UTF-8 paths, names and data through the wide
// calls, for text that may hold any character (the users' custom device
// names), where the ANSI code page would lose some.
namespace utf8 {
LONG OpenKey(HKEY root, const std::string& path, REGSAM access, UniqueKey& key);
// At most `maxUnits` UTF-16 units of data, cut at the first NUL.
std::optional<std::string> QueryString(HKEY key, const std::string& name, DWORD maxUnits);
LONG SetString(HKEY key, const std::string& name, const std::string& value);
LONG DeleteValue(HKEY key, const std::string& name);
// The whole name of the value at `index`, however long.
LONG EnumValueName(HKEY key, DWORD index, std::string& name);
}  // namespace utf8

}  // namespace kit
