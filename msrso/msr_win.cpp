#include "msr_win.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "cardmask.h"
#include "registry_win.h"
#include "serialname.h"
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
    case opos::kPidxCheckHealthText: return HealthText();
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
  // Masked with the card it came from at hand: the account number shows
  // only where its track holds it whole.
  msr::CardStrings card;
  {
    Lock lock(cardLock_);
    card = card_;
  }
  std::string& bytes = card[static_cast<std::size_t>(at)];
  bytes.assign(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = static_cast<char>(text[i]);
  return trace::Quoted(msr::MaskCardString(card, static_cast<msr::CardString>(at)));
}

// ---- Methods -----------------------------------------------------------

long CMSR::OpenService(const wchar_t*, const wchar_t* deviceName, IDispatch* control) {
  if (opened_) Close();
  kit::UniqueKey key;
  if (!BeginOpenService(kDeviceClassKey, deviceName, control, kEventNames, key)) return SetResult(opos::kNoService);
  includeLrc_ = kit::QueryString(key.get(), "Lrc") == std::optional<std::string>("True");
  const std::optional<std::string> port = kit::QueryString(key.get(), "Port");
  portName_ = port.value_or("");
  key.reset();
  if (!OpenPort()) {
    const DWORD error = GetLastError();
    trace().WriteMade(trace::kCalls, [&] {
      if (!port) return std::string("OpenService: the device key has no \"Port\" value");
      return "OpenService: the port " + trace::Quoted(kit::SerialDeviceName(portName_)) + " (\"Port\" is " +
             trace::Quoted(portName_) + ") could not be opened (error " + std::to_string(error) + ")";
    });
    return SetResult(opos::kNoService);
  }
  opened_ = true;
  SetFlag(stateLock_, state_, opos::kIdle);
  return SetResult(opos::kSuccess);
}

namespace {

// The read time-outs for each kind of read (linereader.h). Only the
// interval time-out ends a read that has bytes: a line that arrives in
// pieces all the same is joined by the reader, so no time-out that starts
// before a line's first byte can cut it.
void SetReadTimeouts(HANDLE port, msr::ReadWait wait) {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 50;
  timeouts.ReadTotalTimeoutConstant = wait == msr::ReadWait::kRestOfLine ? msr::kLineSilenceMs : 0;
  timeouts.WriteTotalTimeoutMultiplier = 100;
  timeouts.WriteTotalTimeoutConstant = 100;
  SetCommTimeouts(port, &timeouts);
}

// The card reader's line: 9600 baud, 8 data bits, no parity, one stop bit,
// no flow control; as at Claim, and again whenever the port comes back.
void SetUpPort(HANDLE port) {
  PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
  DWORD errors = 0;
  ClearCommError(port, &errors, nullptr);
  SetReadTimeouts(port, msr::ReadWait::kFirstByte);
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

// The card reader's port, opened by its name as the registry holds it
// ("COM12" opens as "\\.\COM12").
kit::UniqueHandle OpenReaderPort(const std::string& name) {
  if (name.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return {};
  }
  return kit::UniqueHandle(CreateFileA(kit::SerialDeviceName(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr));
}

}  // namespace

bool CMSR::OpenPort() {
  port_.reset();
  port_ = OpenReaderPort(portName_);
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
  SetUpPort(port_.get());
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
  // A reader whose port went away is not healthy, whatever the level.
  if (InterlockedCompareExchange(&portLost_, 0, 0)) return SetResult(opos::kFailure);
  return SetResult(level == opos::kInteractive ? opos::kSuccess : opos::kIllegal);
}

std::wstring CMSR::HealthText() {
  if (!InterlockedCompareExchange(&portLost_, 0, 0)) return L"";
  return L"The serial port " + kit::FromAnsi(portName_) + L" cannot be reached";
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

namespace {

// The serial port as the receive loop sees it: overlapped reads that wait
// for their first byte as long as the reader says, and end `stop` cuts
// short. The reader does not wait for receive events first: the read itself
// waits for the first byte, and Wine serves a receive-event wait with a
// helper thread that ends without the loader's thread shutdown, which
// breaks the next load of any module with thread-local storage (such as
// this one) in the process.
//
// The port handle is the object's own: while the worker runs, only it
// touches the handle, closing it when the device is gone and opening the
// port again by its name.
class SerialReaderPort final : public msr::ReaderPort {
 public:
  // `lastError` receives the Windows error of each refused read or open.
  SerialReaderPort(kit::UniqueHandle& port, const std::string& name, HANDLE stop, DWORD& lastError)
      : port_(port), name_(name), stop_(stop), lastError_(lastError) {}
  bool Ready() const { return static_cast<bool>(done_); }

  msr::ReadStatus Read(std::span<std::uint8_t> into, std::size_t& got, msr::ReadWait wait) override {
    if (WaitForSingleObject(stop_, 0) != WAIT_TIMEOUT) return msr::ReadStatus::kStopped;
    if (wait != timeouts_) {
      SetReadTimeouts(port_.get(), wait);
      timeouts_ = wait;
    }
    ResetEvent(done_.get());
    OVERLAPPED ov{};
    ov.hEvent = done_.get();
    DWORD bytes = 0;
    BOOL ok = ReadFile(port_.get(), into.data(), static_cast<DWORD>(into.size()), &bytes, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
      const HANDLE waits[2] = {done_.get(), stop_};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(port_.get());
        GetOverlappedResult(port_.get(), &ov, &bytes, TRUE);
        return msr::ReadStatus::kStopped;
      }
      ok = GetOverlappedResult(port_.get(), &ov, &bytes, FALSE);
    }
    // A read whose total time-out ran out with nothing ends like that on
    // Windows, and with ERROR_TIMEOUT under Wine: both are a quiet line.
    if (!ok && GetLastError() == ERROR_TIMEOUT) ok = TRUE;
    if (!ok) lastError_ = GetLastError();
    got = ok ? bytes : 0;
    return ok ? msr::ReadStatus::kDone : msr::ReadStatus::kFailed;
  }

  bool TakeLineErrors(unsigned& line) override {
    DWORD errors = 0;
    COMSTAT status{};
    line = 0;
    if (!ClearCommError(port_.get(), &errors, &status)) return false;
    if (errors & CE_FRAME) line |= msr::kLineFraming;
    if (errors & (CE_OVERRUN | CE_RXOVER)) line |= msr::kLineOverrun;
    if (errors & CE_RXPARITY) line |= msr::kLineParity;
    if (errors & CE_BREAK) line |= msr::kLineBreak;
    return true;
  }

  bool Reopen() override {
    port_.reset();
    kit::UniqueHandle fresh = OpenReaderPort(name_);
    if (!fresh) {
      lastError_ = GetLastError();
      return false;
    }
    SetUpPort(fresh.get());
    timeouts_ = msr::ReadWait::kFirstByte;
    port_ = std::move(fresh);
    return true;
  }

  bool Pause(unsigned ms) override { return WaitForSingleObject(stop_, ms) == WAIT_TIMEOUT; }

 private:
  kit::UniqueHandle& port_;
  const std::string& name_;
  HANDLE stop_;
  msr::ReadWait timeouts_ = msr::ReadWait::kFirstByte;  // as SetUpPort leaves them
  DWORD& lastError_;
  kit::UniqueHandle done_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

}  // namespace

bool CMSR::StartThreads() {
  stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  dataReady_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  InterlockedExchange(&lineInFlight_, 0);
  InterlockedExchange(&portLost_, 0);
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
  InterlockedExchange(&portLost_, 0);
}

DWORD WINAPI CMSR::CommReadThreadProc(void* self) {
  static_cast<CMSR*>(self)->CommReadThread();
  return 0;
}

DWORD WINAPI CMSR::DataThreadProc(void* self) {
  static_cast<CMSR*>(self)->DataThread();
  return 0;
}

void CMSR::CommReadThread() {
  SerialReaderPort port(port_, portName_, stop_.get(), portError_);
  if (port.Ready()) msr::RunReader(port, *this);
}

void CMSR::Received(std::span<const std::uint8_t> bytes) { HandOver(bytes, false); }

namespace {

std::string LineErrorText(unsigned errors) {
  std::string text;
  if (errors & msr::kLineFraming) text += " framing";
  if (errors & msr::kLineOverrun) text += " overrun";
  if (errors & msr::kLineParity) text += " parity";
  if (errors & msr::kLineBreak) text += " break";
  return text;
}

}  // namespace

void CMSR::LineFailed(unsigned errors) {
  trace().WriteMade(trace::kWire, [&] { return "serial line error:" + LineErrorText(errors); });
  HandOver({}, true);
}

void CMSR::LineNoise(unsigned errors) {
  trace().WriteMade(trace::kWire,
                    [&] { return "serial line error with no card data, ignored:" + LineErrorText(errors); });
}

void CMSR::PortLost() {
  InterlockedExchange(&portLost_, 1);
  trace().WriteMade(trace::kCalls, [&] {
    return "serial port " + trace::Quoted(kit::SerialDeviceName(portName_)) + " lost (error " +
           std::to_string(portError_) + "); opening it again about once a second";
  });
}

void CMSR::PortBack() {
  InterlockedExchange(&portLost_, 0);
  trace().WriteMade(trace::kCalls,
                    [&] { return "serial port " + trace::Quoted(kit::SerialDeviceName(portName_)) + " back"; });
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
    if (!receiveFailed_) {
      // What came on the wire, masked: its shape, never the card's data.
      trace().WriteMade(trace::kWire, [&] {
        const std::string_view bytes(reinterpret_cast<const char*>(receiveBuffer_), receiveCount_);
        return "serial in " + std::to_string(receiveCount_) + " bytes: " + trace::Quoted(msr::MaskLine(bytes));
      });
    }
    try {
      ProcessOneLine(msr::TakeLine(receiveBuffer_, receiveCount_), receiveFailed_);
    } catch (...) {
      // Out of memory while decoding: the line is lost, the reader goes on.
    }
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
