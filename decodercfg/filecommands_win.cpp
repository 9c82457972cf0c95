// File menu of the main window: New, Open, Save, Save As, Exit.
#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "filedialog_win.h"
#include "fileio_win.h"
#include "mainwindow_win.h"
#include "msgbox_win.h"

namespace q5r {

namespace {

constexpr wchar_t kFilter[] = L"Config Setup Files(*.cfg)\0*.cfg\0";

std::string TodayAsShortDate() {
  char date[64] = {};
  if (!GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date)) {
    return {};
  }
  return date;
}

// Runs a standard file dialog; the chosen full path, or empty when cancelled.
std::wstring AskFileName(HWND owner, const std::wstring& initial, bool save) {
  kit::FileDialogOptions options;
  options.owner = owner;
  options.filter = kFilter;
  options.defaultExtension = L"cfg";
  options.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER |
                  (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  options.save = save;
  return kit::AskFileName(options, initial);
}

}  // namespace

void MainWindow::SetCaption(const std::wstring& prefix) {
  SetWindowTextW(hwnd_, (prefix + currentFileName_).c_str());
}

void MainWindow::ResetFileState(const char* description) {
  FileInfo& file = session_.file;
  file.deviceName = "Device Name";
  file.userName = "User's Name";
  file.buildingDate = TodayAsShortDate();
  file.description = description;
  currentFileName_ = kNewFileName;
}

bool MainWindow::AskSaveIfChanged() {
  if (!session_.image.IsChanged()) return true;
  const int answer = kit::ShowMessage(
      hwnd_, L"Configuration had been changed,do you want to save your file?", kAppCaption,
      MB_YESNOCANCEL);
  if (answer == IDCANCEL) return false;
  if (answer == IDYES) FileSave();
  return true;
}

void MainWindow::FileNew() {
  if (!AskSaveIfChanged()) return;
  session_.image.LoadBarDecoderDefaults();
  session_.image.LoadMagReaderDefaults();
  session_.image.TakeSnapshot();
  ResetFileState("Your Description about this Setup");
  SetCaption(L"Configuration Setup: ");
  CloseConfigWindows();
}

void MainWindow::FileOpen() {
  if (!AskSaveIfChanged()) return;
  const std::wstring path = AskFileName(hwnd_, L"", false);
  if (path.empty()) return;

  // An unreadable file reads as empty and so fails the magic check.
  const std::string contents = kit::ReadWholeFile(path).value_or(std::string());
  if (ParseConfigFile(contents, session_.file, session_.image) != ParseResult::kOk) {
    kit::ShowMessage(hwnd_, L"This File Is Not A Configuration Setup File", kAppCaption, MB_OK);
    return;
  }
  currentFileName_ = path;
  SetCaption(L"Configuration Setup: ");
  CloseConfigWindows();
}

void MainWindow::FileSave() {
  if (currentFileName_ == kNewFileName) {
    FileSaveAs();
    return;
  }
  WriteConfigFile(currentFileName_);
}

void MainWindow::FileSaveAs() {
  const std::wstring path = AskFileName(hwnd_, currentFileName_, true);
  if (path.empty()) return;
  if (!WriteConfigFile(path)) return;
  currentFileName_ = path;
  SetCaption(L"Configuration Setup: ");
}

// Writes the whole file through a temporary file. Only a complete write
// counts as saved; otherwise the user is told and the change prompt stays.
bool MainWindow::WriteConfigFile(const std::wstring& path) {
  if (!kit::WriteFileReplacing(path, FormatConfigFile(session_.file, session_.image.Bytes()))) {
    kit::ShowMessage(hwnd_, L"The file \"" + path + L"\" could not be saved.", kAppCaption,
                     MB_OK | MB_ICONERROR);
    return false;
  }
  session_.image.TakeSnapshot();
  return true;
}

void MainWindow::FileExit() {
  const int answer =
      kit::ShowMessage(hwnd_, L"Do you want to save your file?", kAppCaption, MB_YESNOCANCEL);
  if (answer == IDCANCEL) return;
  if (answer == IDYES) FileSave();
  SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

}  // namespace q5r
