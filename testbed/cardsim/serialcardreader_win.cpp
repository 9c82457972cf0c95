#include "serialcardreader_win.h"

#include <windows.h>

namespace testbed {

std::string SerialCardReader::SimulatorPath() { return testbed::SimulatorPath("KIT_CARDSIM", KIT_CARDSIM_DEFAULT); }

bool SerialCardReader::Command(const std::string& line) {
  HANDLE file = CreateFileW(File(L"control").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string text = line + "\n";
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

bool SerialCardReader::WaitSent(std::size_t count, int timeoutMs) const {
  const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  while (Sent() < count) {
    if (GetTickCount64() >= until) return false;
    Sleep(5);
  }
  return true;
}

}  // namespace testbed
