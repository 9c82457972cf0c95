// adkb.dll stand-in: the port I/O library Q5RSetup loads by name, for tests
// under Wine, where no program may touch real ports. It records every call,
// lets a test make the start-up fail, and plays a Q5R decoder on the
// keyboard port: it reads the characters written to port 0x60 and answers
// by "typing" into the window that has the keyboard focus in the calling
// thread (keyboarddecoder.h says what it answers to what).
//
//   ADKB_STANDIN_INIT=fail      InitializeWinIo answers FALSE (default TRUE);
//                               no write then reaches the decoder
//   ADKB_STANDIN_LOG=C:\x.log   one line per call appended to that file:
//                               "InitializeWinIo", "SetPortVal 0x60 0x41 1",
//                               "ShutdownWinIo"
//   ADKB_STANDIN_DECODER=absent the decoder never answers (default present)
//   ADKB_STANDIN_ANSWER_AT=3    answer only the 3rd wake-up string of a wait
//   ADKB_STANDIN_SECTION=bar    upload the bar-code section (default mag)
//   ADKB_STANDIN_REPLY=...      upload reply: good, badcheck, short (144
//                               characters), long (146), badflag, baddigit,
//                               none (default good)
//   ADKB_STANDIN_DOWNLOAD_ACK=no  never type "P" after a download
//   ADKB_STANDIN_VERSION=...    the 22 version characters of the reply
//   ADKB_STANDIN_MEMORY=...     the text a memory read types (then code 3);
//                               a CR in it is typed as the Enter key
//   ADKB_STANDIN_IMAGE=<hex>    the decoder's configuration (170 digits);
//                               default the factory block
//
// All are read by InitializeWinIo, which also resets the decoder (image,
// memory). The log file is opened, appended to and closed for each line so
// that a test can read it at any moment.
//
// Typing: the program calls SetPortVal from its window thread inside a wait
// loop that keeps messages flowing. The answer is not typed during the call:
// a message to a hidden window of that thread asks for it, so the keys go
// to whichever control has the focus once the program waits (after a
// release it moves the focus to the box that takes the reply). Each
// character is posted as WM_CHAR (the exact character), then WM_KEYDOWN
// with lParam bit 31 set (its key code, without a second character from
// TranslateMessage), then WM_KEYUP.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "keyboarddecoder.h"

namespace {

struct Settings {
  bool initFails = false;
  std::wstring logPath;
  bool loaded = false;
  testbed::KeyboardDecoderSettings decoder;
  q5r::ImageBytes image = q5r::kDefaultImage;
};

constexpr UINT kTypeMessage = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"AdkbStandInDecoder";

Settings g_settings;
bool g_open = false;  // between a successful InitializeWinIo and ShutdownWinIo
testbed::KeyboardDecoder g_decoder;
std::string g_toType;   // answers waiting for the program's next message loop
HWND g_window = nullptr;  // hidden, on the thread that calls SetPortVal
HINSTANCE g_module = nullptr;

std::wstring EnvVar(const wchar_t* name) {
  wchar_t value[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(value, n) : std::wstring();
}

// The variable's value as 8-bit text (the decoder's characters).
std::string EnvText(const wchar_t* name, const std::string& fallback) {
  char value[4096];
  std::string narrow;
  for (const wchar_t c : std::wstring(name)) narrow.push_back(static_cast<char>(c));
  SetLastError(0);
  const DWORD n = GetEnvironmentVariableA(narrow.c_str(), value, sizeof value);
  if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return fallback;
  return n < sizeof value ? std::string(value, n) : fallback;
}

bool Is(const wchar_t* name, const wchar_t* value) {
  return CompareStringOrdinal(EnvVar(name).c_str(), -1, value, -1, TRUE) == CSTR_EQUAL;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void LoadSettings() {
  Settings s;
  s.initFails = Is(L"ADKB_STANDIN_INIT", L"fail");
  s.logPath = EnvVar(L"ADKB_STANDIN_LOG");
  testbed::KeyboardDecoderSettings& d = s.decoder;
  d.present = !Is(L"ADKB_STANDIN_DECODER", L"absent");
  if (const int at = _wtoi(EnvVar(L"ADKB_STANDIN_ANSWER_AT").c_str()); at > 0) d.answerAt = at;
  d.barSection = Is(L"ADKB_STANDIN_SECTION", L"bar");
  d.reply = EnvText(L"ADKB_STANDIN_REPLY", d.reply);
  d.acknowledgeDownload = !Is(L"ADKB_STANDIN_DOWNLOAD_ACK", L"no");
  d.version = EnvText(L"ADKB_STANDIN_VERSION", d.version);
  d.memory = EnvText(L"ADKB_STANDIN_MEMORY", d.memory);
  const std::string hex = EnvText(L"ADKB_STANDIN_IMAGE", "");
  if (hex.size() == 2 * s.image.size()) {
    q5r::ImageBytes image{};
    bool ok = true;
    for (std::size_t i = 0; i < image.size() && ok; ++i) {
      const int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
      ok = high >= 0 && low >= 0;
      image[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    if (ok) s.image = image;
  }
  s.loaded = true;
  g_settings = s;
}

void Log(const char* line) {
  // A call made before InitializeWinIo is logged too: that is a finding.
  if (!g_settings.loaded) LoadSettings();
  if (g_settings.logPath.empty()) return;
  HANDLE file = CreateFileW(g_settings.logPath.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = std::string(line) + "\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

// Posts one character to `target` as a keyboard would deliver it.
void TypeCharacter(HWND target, char c) {
  const auto code = static_cast<unsigned char>(c);
  const SHORT scan = VkKeyScanW(static_cast<wchar_t>(code));
  const UINT vk = scan == -1 ? 0 : static_cast<UINT>(scan & 0xFF);
  const LPARAM scanBits = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) & 0xFF) << 16;
  PostMessageW(target, WM_CHAR, code, 1 | scanBits);
  PostMessageW(target, WM_KEYDOWN, vk, static_cast<LPARAM>(1 | scanBits | (1u << 31)));
  PostMessageW(target, WM_KEYUP, vk, static_cast<LPARAM>(1 | scanBits | (1u << 30) | (1u << 31)));
}

void TypePending() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const std::string text = std::move(g_toType);
  g_toType.clear();
  if (!GetGUIThreadInfo(GetCurrentThreadId(), &info) || !info.hwndFocus) return;  // nobody to type to
  for (const char c : text) TypeCharacter(info.hwndFocus, c);
}

LRESULT CALLBACK DecoderWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == kTypeMessage) {
    TypePending();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// The hidden window on the calling thread, made at the first answer.
HWND DecoderWindow() {
  if (g_window && GetWindowThreadProcessId(g_window, nullptr) == GetCurrentThreadId()) return g_window;
  if (g_window) DestroyWindow(g_window);
  WNDCLASSW wc{};
  wc.lpfnWndProc = DecoderWindowProc;
  wc.hInstance = g_module;
  wc.lpszClassName = kWindowClass;
  RegisterClassW(&wc);  // fails harmlessly when already registered
  g_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
  return g_window;
}

void DestroyDecoderWindow() {
  if (g_window) DestroyWindow(g_window);
  g_window = nullptr;
  g_toType.clear();
}

// Every port write ends here; the decoder sees the ones that reach a port.
bool WritePort(DWORD port, DWORD value, BYTE size) {
  if (port > 0xFFFF) return false;
  switch (size) {
    case 1:
    case 2:
    case 4:
      break;
    default:
      return false;
  }
  if (size != 1) return true;
  const std::string answer = g_decoder.OnPortWrite(static_cast<std::uint16_t>(port),
                                                   static_cast<std::uint8_t>(value), g_settings.decoder);
  if (!answer.empty()) {
    const bool posted = !g_toType.empty();
    g_toType += answer;
    if (!posted) {
      if (const HWND window = DecoderWindow()) PostMessageW(window, kTypeMessage, 0, 0);
    }
  }
  return true;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // FreeLibrary: the window's procedure goes with the DLL. (At process
    // exit the windows go anyway and must not be touched.)
    DestroyDecoderWindow();
    UnregisterClassW(kWindowClass, instance);
  }
  return TRUE;
}

BOOL WINAPI InitializeWinIo(void) {
  LoadSettings();
  Log("InitializeWinIo");
  g_open = !g_settings.initFails;
  g_decoder = testbed::KeyboardDecoder(g_settings.image);
  DestroyDecoderWindow();
  return g_open ? TRUE : FALSE;
}

BOOL WINAPI SetPortVal(DWORD portAddr, DWORD portVal, BYTE size) {
  char line[64];
  std::snprintf(line, sizeof line, "SetPortVal 0x%lx 0x%lx %u", portAddr, portVal, static_cast<unsigned>(size));
  Log(line);
  return g_open && WritePort(portAddr, portVal, size) ? TRUE : FALSE;
}

void WINAPI ShutdownWinIo(void) {
  Log("ShutdownWinIo");
  g_open = false;
  DestroyDecoderWindow();
}

}  // extern "C"
