// CKvCash1 / CKvCash2: the service object of one cash drawer. The module is
// built twice from these sources; KV_CASH_DRAWER (1 or 2) picks the
// drawer's row of cash::kDrawers.
//
// While the device is enabled a monitor thread polls the status register
// once a second and has each change reported as "SOStatusUpdate" on the
// application's thread through the frame's event window. Release ends the
// monitor (waking it wherever it waits, also on an event the window will
// never fire) and waits for it before anything it uses goes away.
#pragma once

#include <windows.h>

#include "drawer.h"
#include "handle_win.h"
#include "port_win.h"
#include "serviceobject_win.h"

#ifndef KV_CASH_DRAWER
#error KV_CASH_DRAWER (1 or 2) selects the drawer this module is built for
#endif

namespace cash {

inline constexpr const DrawerVariant& kThisDrawer = kDrawers[KV_CASH_DRAWER - 1];

class CashDrawer final : public oposso::ServiceObject {
 public:
  CashDrawer();
  ~CashDrawer() override;
  static HRESULT Create(REFIID riid, void** out);

  // Type information from the module's registered library (version 1.0),
  // which holds no descriptions: callers obtain none.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;

  void FireEvent(long type) override;

 protected:
  long GetPropertyNumber(long index) override;
  void SetPropertyNumber(long index, long number) override;
  std::wstring GetPropertyString(long index) override;
  long OpenService(const wchar_t* deviceClass, const wchar_t* deviceName, IDispatch* control) override;
  long Close() override;
  long Claim(long timeout) override;
  long ReleaseDevice() override;
  long CheckHealth(long level) override;
  long DirectIO(long command, long& data, BSTR& text) override;
  long COFreezeEvents(bool freeze) override;
  long DeviceMethod12() override;  // OpenDrawer
  long DeviceMethod13(long beepTimeout, long beepFrequency, long beepDuration, long beepDelay) override;
  void FinalRelease() override;

 private:
  // Reads the status register now and stores DrawerOpened.
  long ReadStatus();
  void StartMonitor();
  void StopMonitor();
  static DWORD WINAPI MonitorThreadProc(void* self);
  void MonitorThread();

  bool opened_ = false;
  long claimed_ = 0;
  long deviceEnabled_ = 0;
  long freezeEvents_ = 0;
  long coFreezeEvents_ = 0;
  long state_ = opos::kClosed;
  long capStatus_ = 1;
  volatile LONG drawerOpened_ = 0;  // written by the monitor and by reads
  volatile LONG eventStatus_ = 0;   // the DrawerOpened a status event reports
  bool monitorArmed_ = false;       // the next DeviceEnabled write starts it

  const wchar_t* healthText_ = L"OK";  // CheckHealthText
  DriverPort driverPort_;
  SystemTill till_;

  kit::UniqueHandle runEvent_;  // manual-reset: the monitor polls while set
  kit::UniqueHandle stop_;      // manual-reset: the monitor ends
  kit::UniqueHandle monitor_;
};

}  // namespace cash
