// CMSR: the service object of a magnetic stripe reader that sends each
// swiped card as one line of ASCII text on a serial port.
//
// Two worker threads run while the device is claimed. CommReadThread reads
// the port and hands a completed read to DataThread through ReceiveBuffer;
// DataThread turns the line into the card properties (cardline) and has the
// data or error event fired on the application's thread by the frame's
// event window. One line is in flight at a time: bytes that arrive while a
// line is processed are dropped, never mixed into it, and ReceiveBuffer is
// not written until DataThread has finished with it.
#pragma once

#include <windows.h>

#include <string>

#include "cardline.h"
#include "handle_win.h"
#include "linereader.h"
#include "serviceobject_win.h"

namespace msrso {

// The MSR's own property indices.
enum MsrPropertyIndex : long {
  kPidxDecodeData = 7001,
  kPidxParseDecodeData = 7002,
  kPidxTracksToRead = 7003,
  kPidxCapISO = 7501,
  kPidxCapJISOne = 7502,
  kPidxCapJISTwo = 7503,
};

extern const std::array<opos::Method, 12> kMsrMethods;

// The texts of the string properties the MSR reports.
inline constexpr wchar_t kDeviceDescription[] = L"Kv Serial MSR ";
inline constexpr wchar_t kDeviceName[] = L"KvMsr";
inline constexpr wchar_t kServiceObjectDescription[] = L"Kv MSR Service Object";
inline constexpr char kDeviceClassKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\MSR\\";

class CMSR final : public oposso::ServiceObject, private msr::LineSink {
 public:
  CMSR();
  ~CMSR() override;
  static HRESULT Create(REFIID riid, void** out);

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
  long DeviceMethod12() override;  // ClearInput
  void FinalRelease() override;
  // Card strings show masked in the trace.
  std::string TraceText(long index, const std::wstring& text) override;

 private:
  class Lock {
   public:
    explicit Lock(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~Lock() { LeaveCriticalSection(&cs_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    CRITICAL_SECTION& cs_;
  };

  bool OpenPort();
  // CheckHealthText: "" for a reader in order, else what is wrong.
  std::wstring HealthText();
  bool StartThreads();
  void StopThreads();
  static DWORD WINAPI CommReadThreadProc(void* self);
  static DWORD WINAPI DataThreadProc(void* self);
  void CommReadThread();
  void DataThread();
  // msr::LineSink, called by CommReadThread.
  void Received(std::span<const std::uint8_t> bytes) override;
  void LineFailed(unsigned errors) override;
  void LineNoise(unsigned errors) override;
  void PortLost() override;
  void PortBack() override;
  // Hands a read to DataThread unless a line is still in flight.
  void HandOver(std::span<const std::uint8_t> bytes, bool failed);
  void ProcessOneLine(std::string_view line, bool lineFailed);

  long Flag(CRITICAL_SECTION& cs, const long& value) {
    Lock lock(cs);
    return value;
  }
  void SetFlag(CRITICAL_SECTION& cs, long& value, long v) {
    Lock lock(cs);
    value = v;
  }

  // Device state.
  bool opened_ = false;
  long claimed_ = 0;
  long deviceEnabled_ = 0;
  long dataEventEnabled_ = 0;  // dataEventLock_
  long freezeEvents_ = 0;      // freezeLock_
  long coFreezeEvents_ = 0;    // coFreezeLock_
  long state_ = opos::kClosed; // stateLock_
  long dataCount_ = 0;
  bool includeLrc_ = false;
  long decodeData_ = 1;
  long parseDecodeData_ = 1;
  volatile LONG tracksToRead_ = msr::kTrack1 | msr::kTrack2;  // read by DataThread
  msr::CardStrings card_;      // cardLock_: written by DataThread
  CRITICAL_SECTION dataEventLock_, freezeLock_, coFreezeLock_, stateLock_, cardLock_;

  // The port and the threads.
  std::string portName_;  // "Port" as read at OpenService
  // While the workers run, CommReadThread alone touches the handle: it
  // closes it when the device is gone and opens the port again.
  kit::UniqueHandle port_;
  volatile LONG portLost_ = 0;  // the port went away and is not back yet
  DWORD portError_ = 0;         // CommReadThread's: why it went
  kit::UniqueHandle stop_;       // manual-reset: every worker ends
  kit::UniqueHandle dataReady_;  // auto-reset: a line waits in ReceiveBuffer
  kit::UniqueHandle commReadThread_, dataThread_;
  volatile LONG lineInFlight_ = 0;  // ReceiveBuffer belongs to DataThread
  std::uint8_t receiveBuffer_[msr::kReceiveBufferSize] = {};
  DWORD receiveCount_ = 0;
  bool receiveFailed_ = false;  // the line came with line errors
};

}  // namespace msrso
