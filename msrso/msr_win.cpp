#include "msr_win.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "cardmask.h"
#include "registry_win.h"
#include "text_win.h"

namespace msrso {

const std::array<opos::Method, 12> kMsrMethods = [] {
  std::array<opos::Method, 12> table{};
  for (std::size_t i = 0; i < opos::kCommonMethods.size(); ++i) table[i] = opos::kCommonMethods[i];
  table[11] = {"ClearInput", opos::kDeviceMethod12, opos::Returns::kLong, 0, {}};
  return table;
}();

namespace {

// The event requests the MSR resolves, in this order.
constexpr const char* kEventNames[] = {"SOData", "SODirectIO", "SOError"};
constexpr std::size_t kSOData = 0;
constexpr std::size_t kSOError = 2;

// Card bytes as they came from the reader, one character each (an LRC byte
// stays the byte it is).
std::wstring Widen(const std::string& bytes) {
  std::wstring text(bytes.size(), L'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<unsigned char>(bytes[i]);
  return text;
}

}  // namespace

CMSR::CMSR() : ServiceObject(kMsrMethods) {
  for (CRITICAL_SECTION* cs : {&dataEventLock_, &freezeLock_, &coFreezeLock_, &stateLock_, &cardLock_}) {
    InitializeCriticalSection(cs);
  }
}

CMSR::~CMSR() {
  for (CRITICAL_SECTION* cs : {&dataEventLock_, &freezeLock_, &coFreezeLock_, &stateLock_, &cardLock_}) {
    DeleteCriticalSection(cs);
  }
}

HRESULT CMSR::Create(REFIID riid, void** out) {
  auto* object = new (std::nothrow) CMSR;
  if (!object) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(riid, out);
  object->Release();
  return hr;
}

void CMSR::FinalRelease() {
  // An application that drops the object without Release and Close must
  // not leave threads running in a module that may be unloaded next.
  if (claimed_) ReleaseDevice();
  port_.reset();
}

// ---- Properties --------------------------------------------------------

long CMSR::GetPropertyNumber(long index) {
  switch (index) {
    case opos::kPidxClaimed: return claimed_;
    case opos::kPidxDataEventEnabled: return Flag(dataEventLock_, dataEventEnabled_);
    case opos::kPidxDeviceEnabled: return deviceEnabled_;
    case opos::kPidxFreezeEvents: return Flag(freezeLock_, freezeEvents_);
    case opos::kPidxResultCode: return resultCode_;
    case opos::kPidxResultCodeExtended: return resultCodeExtended_;
    case opos::kPidxServiceObjectVersion: return opos::kServiceObjectVersion;
    case opos::kPidxState: return Flag(stateLock_, state_);
    case opos::kPidxDataCount: return dataCount_;
    case kPidxDecodeData: return decodeData_;
    case kPidxParseDecodeData: return parseDecodeData_;
    case kPidxTracksToRead: return InterlockedCompareExchange(&tracksToRead_, 0, 0);
    case kPidxCapISO: return 1;
    case kPidxCapJISOne: return 0;
    case kPidxCapJISTwo: return 0;
    default: return 0;
  }
}

void CMSR::SetPropertyNumber(long index, long number) {
  switch (index) {
    case opos::kPidxDataEventEnabled:
      SetFlag(dataEventLock_, dataEventEnabled_, number != 0);
      SetResult(opos::kSuccess);
      break;
    case opos::kPidxDeviceEnabled:
      deviceEnabled_ = number != 0;
      SetResult(opos::kSuccess);
      break;
    case opos::kPidxFreezeEvents:
      SetFlag(freezeLock_, freezeEvents_, number != 0);
      SetResult(opos::kSuccess);
      break;
    case kPidxDecodeData:
    case kPidxParseDecodeData:
    case kPidxTracksToRead:
      if (!deviceEnabled_) {
        SetResult(opos::kDisabled);
        break;
      }
      if (index == kPidxDecodeData) decodeData_ = number == 1;
      if (index == kPidxParseDecodeData) parseDecodeData_ = number == 1;
      if (index == kPidxTracksToRead) InterlockedExchange(&tracksToRead_, number);
      SetResult(opos::kSuccess);
      break;
    default:
      break;  // ignored, ResultCode unchanged
  }
}

std::wstring CMSR::GetPropertyString(long index) {
  switch (index) {
    case opos::kPidxCheckHealthText: return L"";
    case opos::kPidxDeviceDescription: return kDeviceDescription;
    case opos::kPidxDeviceName: return kDeviceName;
    case opos::kPidxServiceObjectDescription: return kServiceObjectDescription;
    default: break;
  }
  const long at = index - msr::kFirstCardStringIndex;
  if (at >= 0 && at < static_cast<long>(msr::kCardStringCount)) {
    Lock lock(cardLock_);
    return Widen(card_[static_cast<std::size_t>(at)]);
  }
  return L"";
}

std::string CMSR::TraceText(long index, const std::wstring& text) {
  const long at = index - msr::kFirstCardStringIndex;
  if (at < 0 || at >= static_cast<long>(msr::kCardStringCount)) return ServiceObject::TraceText(index, text);
  std::string bytes(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = static_cast<char>(text[i]);
  return trace::Quoted(msr::MaskCardString(static_cast<msr::CardString>(at), bytes));
}

// ---- Methods -----------------------------------------------------------

long CMSR::OpenService(const wchar_t*, const wchar_t* deviceName, IDispatch* control) {
  if (opened_) Close();
  kit::UniqueKey key;
  if (!OpenDeviceKey(kDeviceClassKey, deviceName, key)) {
    trace().Start(deviceName ? deviceName : L"", trace::kOff);
    return SetResult(opos::kNoService);
  }
  StartTrace(key.get(), deviceName);
  if (!AttachControl(control, kEventNames)) return SetResult(opos::kNoService);
  includeLrc_ = kit::QueryString(key.get(), "Lrc") == std::optional<std::string>("True");
  portName_ = kit::QueryString(key.get(), "Port").value_or("");
  key.reset();
  if (!OpenPort()) return SetResult(opos::kNoService);
  opened_ = true;
  SetFlag(stateLock_, state_, opos::kIdle);
  return SetResult(opos::kSuccess);
}

bool CMSR::OpenPort() {
  port_.reset();
  if (portName_.empty()) return false;
  port_.reset(CreateFileA(portName_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                          nullptr));
  return static_cast<bool>(port_);
}

long CMSR::Close() {
  if (claimed_) ReleaseDevice();
  // The port opened by OpenService is closed here too, so that the next
  // OpenService (of this or another object) can open it again.
  port_.reset();
  opened_ = false;
  SetFlag(stateLock_, state_, opos::kClosed);
  DetachControl();
  return SetResult(opos::kSuccess);
}

long CMSR::Claim(long) {
  if (!opened_) return SetResult(opos::kNotClaimed);
  if (claimed_) return SetResult(opos::kSuccess);
  // After a Release the port is open again with the name read at
  // OpenService.
  if (!port_ && !OpenPort()) return SetResult(opos::kFailure);
  if (!CreateEventWindow()) return SetResult(opos::kNotClaimed);
  SetUpPort();
  if (!StartThreads()) {
    StopThreads();
    DestroyEventWindow();
    return SetResult(opos::kFailure);
  }
  claimed_ = 1;
  return SetResult(opos::kSuccess);
}

long CMSR::ReleaseDevice() {
  if (!claimed_) return SetResult(opos::kIllegal);
  if (deviceEnabled_) SetPropertyNumber(opos::kPidxDeviceEnabled, 0);
  claimed_ = 0;
  // Both workers end and are waited for before the window and the port
  // go: none is left blocked on an event the window will never fire.
  StopThreads();
  port_.reset();
  DestroyEventWindow();
  return SetResult(opos::kSuccess);
}

long CMSR::CheckHealth(long level) {
  if (!claimed_) return SetResult(opos::kNotClaimed);
  return SetResult(level == opos::kInteractive ? opos::kSuccess : opos::kIllegal);
}

long CMSR::DirectIO(long, long&, BSTR&) { return SetResult(opos::kIllegal); }

long CMSR::COFreezeEvents(bool freeze) {
  SetFlag(coFreezeLock_, coFreezeEvents_, freeze ? 1 : 0);
  return opos::kSuccess;
}

long CMSR::DeviceMethod12() {
  // ClearInput: lines are never queued, so there is no input to drop
  // beyond the line being processed, which finishes on its own.
  return opos::kSuccess;
}

// ---- Events ------------------------------------------------------------

void CMSR::FireEvent(long type) {
  if (type == opos::kEventData) {
    dataCount_ = 0;
    {
      Lock lock(dataEventLock_);
      dataEventEnabled_ = 0;
      SetResult(opos::kSuccess);
    }
    SetFlag(stateLock_, state_, opos::kIdle);
    VARIANT status;
    VariantInit(&status);
    V_VT(&status) = VT_I4;
    V_I4(&status) = 1;
    RequestEvent(kSOData, {&status, 1});
  } else if (type == opos::kEventError) {
    dataCount_ = 0;
    Lock freeze(freezeLock_);
    Lock coFreeze(coFreezeLock_);
    SetFlag(stateLock_, state_, opos::kError);
    SetResult(opos::kFailure);
    long response = opos::kErrorResponseClear;
    VARIANT args[4];
    for (VARIANT& a : args) VariantInit(&a);
    for (int i = 0; i < 3; ++i) V_VT(&args[i]) = VT_I4;
    V_I4(&args[0]) = opos::kFailure;
    V_I4(&args[1]) = opos::kFailure;
    V_I4(&args[2]) = opos::kErrorLocusInput;
    V_VT(&args[3]) = VT_I4 | VT_BYREF;
    V_I4REF(&args[3]) = &response;
    RequestEvent(kSOError, args);
  }
}

// ---- Port and worker threads ---------------------------------------------

void CMSR::SetUpPort() {
  HANDLE port = port_.get();
  PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
  DWORD errors = 0;
  ClearCommError(port, &errors, nullptr);
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 50;
  timeouts.ReadTotalTimeoutMultiplier = 10;
  timeouts.ReadTotalTimeoutConstant = 10;
  timeouts.WriteTotalTimeoutMultiplier = 100;
  timeouts.WriteTotalTimeoutConstant = 100;
  SetCommTimeouts(port, &timeouts);
  SetupComm(port, 256, 256);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(port, &dcb);
  dcb.BaudRate = CBR_9600;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  // A line error must not stop every later read: errors are taken with
  // ClearCommError after each read instead.
  dcb.fAbortOnError = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  SetCommState(port, &dcb);
  SetCommMask(port, EV_RXCHAR);
}

bool CMSR::StartThreads() {
  stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  dataReady_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  InterlockedExchange(&lineInFlight_, 0);
  if (!stop_ || !dataReady_) return false;
  dataThread_.reset(CreateThread(nullptr, 0, DataThreadProc, this, 0, nullptr));
  commReadThread_.reset(CreateThread(nullptr, 0, CommReadThreadProc, this, 0, nullptr));
  return dataThread_ && commReadThread_;
}

void CMSR::StopThreads() {
  if (stop_) SetEvent(stop_.get());
  HANDLE threads[2];
  DWORD count = 0;
  if (dataThread_) threads[count++] = dataThread_.get();
  if (commReadThread_) threads[count++] = commReadThread_.get();
  if (count) WaitForMultipleObjects(count, threads, TRUE, INFINITE);
  dataThread_.reset();
  commReadThread_.reset();
  dataReady_.reset();
  stop_.reset();
}

DWORD WINAPI CMSR::CommReadThreadProc(void* self) {
  static_cast<CMSR*>(self)->CommReadThread();
  return 0;
}

DWORD WINAPI CMSR::DataThreadProc(void* self) {
  static_cast<CMSR*>(self)->DataThread();
  return 0;
}

namespace {

// The serial port as the receive loop sees it: overlapped reads bounded by
// the port's time-outs, so a read ends at the latest when the total time-out
// runs out and the loop neither spins nor blocks for good. The reader does
// not wait for receive events first: the read itself waits for the first
// byte, and Wine serves a receive-event wait with a helper thread that ends
// without the loader's thread shutdown, which breaks the next load of any
// module with thread-local storage (such as this one) in the process.
class SerialReaderPort final : public msr::ReaderPort {
 public:
  SerialReaderPort(HANDLE port, HANDLE stop) : port_(port), stop_(stop) {}
  bool Ready() const { return static_cast<bool>(done_); }

  msr::ReadStatus Read(std::span<std::uint8_t> into, std::size_t& got) override {
    if (WaitForSingleObject(stop_, 0) != WAIT_TIMEOUT) return msr::ReadStatus::kStopped;
    ResetEvent(done_.get());
    OVERLAPPED ov{};
    ov.hEvent = done_.get();
    DWORD bytes = 0;
    BOOL ok = ReadFile(port_, into.data(), static_cast<DWORD>(into.size()), &bytes, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
      const HANDLE waits[2] = {done_.get(), stop_};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(port_);
        GetOverlappedResult(port_, &ov, &bytes, TRUE);
        return msr::ReadStatus::kStopped;
      }
      ok = GetOverlappedResult(port_, &ov, &bytes, FALSE);
    }
    got = ok ? bytes : 0;
    return ok ? msr::ReadStatus::kDone : msr::ReadStatus::kFailed;
  }

  unsigned TakeLineErrors() override {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_, &errors, &status)) return 0;
    unsigned line = 0;
    if (errors & CE_FRAME) line |= msr::kLineFraming;
    if (errors & (CE_OVERRUN | CE_RXOVER)) line |= msr::kLineOverrun;
    if (errors & CE_RXPARITY) line |= msr::kLineParity;
    if (errors & CE_BREAK) line |= msr::kLineBreak;
    return line;
  }

  bool Pause(unsigned ms) override { return WaitForSingleObject(stop_, ms) == WAIT_TIMEOUT; }

 private:
  HANDLE port_;
  HANDLE stop_;
  kit::UniqueHandle done_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

}  // namespace

void CMSR::CommReadThread() {
  SerialReaderPort port(port_.get(), stop_.get());
  if (port.Ready()) msr::RunReader(port, *this);
}

void CMSR::Received(std::span<const std::uint8_t> bytes) { HandOver(bytes, false); }

void CMSR::LineFailed(unsigned errors) {
  if (trace().On(trace::kWire)) {
    std::string entry = "serial line error:";
    if (errors & msr::kLineFraming) entry += " framing";
    if (errors & msr::kLineOverrun) entry += " overrun";
    if (errors & msr::kLineParity) entry += " parity";
    if (errors & msr::kLineBreak) entry += " break";
    trace().Write(trace::kWire, entry);
  }
  HandOver({}, true);
}

void CMSR::HandOver(std::span<const std::uint8_t> bytes, bool failed) {
  // Only when DataThread is done with the last line; otherwise the read is
  // dropped (lines are never queued).
  if (InterlockedCompareExchange(&lineInFlight_, 1, 0) != 0) return;
  std::memcpy(receiveBuffer_, bytes.data(), bytes.size());
  receiveCount_ = static_cast<DWORD>(bytes.size());
  receiveFailed_ = failed;
  SetEvent(dataReady_.get());
}

void CMSR::DataThread() {
  const HANDLE waits[2] = {dataReady_.get(), stop_.get()};
  while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
    if (!receiveFailed_ && trace().On(trace::kWire)) {
      // What came on the wire, masked: its shape, never the card's data.
      const std::string_view bytes(reinterpret_cast<const char*>(receiveBuffer_), receiveCount_);
      char head[48];
      std::snprintf(head, sizeof head, "serial in %lu bytes: ", static_cast<unsigned long>(receiveCount_));
      trace().Write(trace::kWire, head + trace::Quoted(msr::MaskLine(bytes)));
    }
    ProcessOneLine(msr::TakeLine(receiveBuffer_, receiveCount_), receiveFailed_);
    InterlockedExchange(&lineInFlight_, 0);
  }
}

void CMSR::ProcessOneLine(std::string_view line, bool lineFailed) {
  if (!Flag(dataEventLock_, dataEventEnabled_) || Flag(freezeLock_, freezeEvents_) ||
      Flag(coFreezeLock_, coFreezeEvents_)) {
    return;  // dropped: no property changes, no event
  }
  msr::CardStrings card;
  const long tracks = InterlockedCompareExchange(&tracksToRead_, 0, 0);
  // A swipe damaged on the line is unreadable: its card strings are empty.
  const msr::LineResult result =
      lineFailed ? msr::LineResult::kError : msr::ProcessLine(line, tracks, includeLrc_, card);
  {
    Lock lock(cardLock_);
    card_ = std::move(card);
  }
  PostEventAndWait(result == msr::LineResult::kData ? opos::kEventData : opos::kEventError, stop_.get());
}

}  // namespace msrso
