// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kit {

// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::wstring& path);

// Writes `data` to a temporary file in the target's folder and only then
// replaces the target. On failure the old file is left as it was and the
// temporary file is removed. Returns false on failure (GetLastError is set).
bool WriteFileReplacing(const std::wstring& path, std::string_view data);

}  // namespace kit
