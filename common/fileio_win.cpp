#include "fileio_win.h"

#include <windows.h>

#include "handle_win.h"

namespace kit {

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 64 * 1024 * 1024) return std::nullopt;
  std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!data.empty() &&
      (!ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &got, nullptr) ||
       got != data.size())) {
    return std::nullopt;
  }
  return data;
}

bool WriteFileReplacing(const std::wstring& path, std::string_view data) {
  // The temporary file lives beside the target so the final move is a rename
  // on the same volume.
  std::wstring folder = path;
  const std::size_t slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash + 1);
  wchar_t temp[MAX_PATH];
  if (!GetTempFileNameW(folder.c_str(), L"kit", 0, temp)) return false;

  bool written = false;
  {
    UniqueHandle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD put = 0;
    written = file &&
              WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &put, nullptr) &&
              put == data.size() && FlushFileBuffers(file.get());
  }
  if (written &&
      MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  const DWORD error = GetLastError();
  DeleteFileW(temp);
  SetLastError(error);
  return false;
}

}  // namespace kit
