// Shared pieces of the drawer service objects' tests under Wine: the two
// modules registered once, the device keys, the hand at the till (the
// simulated driver's test-only requests), and a drawer object driven by
// name as an OPOS control object drives it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "controlobject_win.h"
#include "drawer.h"
#include "handle_win.h"
#include "tillport_sim_ioctl.h"

namespace cashtest {

std::wstring ProgramFolder();
std::wstring DllPath(const cash::DrawerVariant& drawer);
int ThreadCount();  // threads of this process
double Ms(LONGLONG from, LONGLONG to);  // QueryPerformanceCounter ticks to ms
LONGLONG Now();

// The device key of drawer 1 ("KvCash1") or 2 ("KvCash2") with its
// default value; empty strings write no value.
std::string DeviceKeyPath(const cash::DrawerVariant& drawer);
void WriteDeviceKey(const cash::DrawerVariant& drawer, const std::string& capStatus, const std::string& opSysNT);
void DeleteDeviceKeys();

// The hand at the till and the eye on the kick register: a handle of its
// own on the simulated driver.
class Hand {
 public:
  bool Open();
  bool SetDrawer(int drawer, bool closed);
  std::vector<TillportSimLogEntry> Log();
  bool ClearLog();

 private:
  kit::UniqueHandle device_;
};

// One drawer object created through its ProgID and its control object.
class Drawer {
 public:
  explicit Drawer(const cash::DrawerVariant& variant);
  ~Drawer();
  Drawer(const Drawer&) = delete;
  Drawer& operator=(const Drawer&) = delete;

  bool Created() const { return so_ != nullptr; }
  IDispatch* So() const { return so_; }
  void Drop();  // releases the object
  long Open();  // OpenService("CashDrawer", "KvCashN", control)
  long Call(const wchar_t* name, std::vector<VARIANT> args = {});
  long Number(long index);
  void SetNumber(long index, long value);
  std::wstring String(long index);
  long Wait(long timeout, long frequency, long duration, long delay);
  // SOStatusUpdate calls received so far (their Data).
  std::vector<long> Updates();
  // Pumps the thread's messages until `count` SOStatusUpdate calls came.
  bool PumpUntilUpdates(std::size_t count, DWORD timeoutMs);

  const cash::DrawerVariant& variant;
  testbed::ControlObject control;

 private:
  IDispatch* so_ = nullptr;
};

class CashTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;
};

}  // namespace cashtest
