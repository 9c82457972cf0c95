// Tillport under Wine: the test build TillportSim.sys (the shipping driver
// with its port accesses going to a simulated drawer bank at 0x200/0x201)
// installed and started as the kernel service "Tillport", then driven from
// user mode as the drawer service objects drive it.
#include <windows.h>
#include <winioctl.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "handle_win.h"
#include "kernelservice_win.h"
#include "tillport_ioctl.h"
#include "tillport_sim_ioctl.h"

namespace {

constexpr DWORD kWait = 20000;
constexpr NTSTATUS kSuccess = 0;
constexpr NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS kAccessViolation = static_cast<NTSTATUS>(0xC0000005);
constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);

static_assert(IOCTL_READ_PORT_UCHAR ==
              CTL_CODE(TILLPORT_DEVICE_TYPE, 0x900, METHOD_BUFFERED, FILE_READ_ACCESS));
static_assert(IOCTL_WRITE_PORT_ULONG ==
              CTL_CODE(TILLPORT_DEVICE_TYPE, 0x912, METHOD_BUFFERED, FILE_WRITE_ACCESS));

kit::UniqueHandle OpenTillport() {
  // As the drawer service objects open it: read and write, no sharing.
  return kit::UniqueHandle(CreateFileW(TILLPORT_USER_PATH_W, GENERIC_READ | GENERIC_WRITE, 0,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
}

// What one request came back with, seen both through ntdll (the status and
// Information the driver completed it with) and through DeviceIoControl.
struct Outcome {
  NTSTATUS status = 0;
  bool statusBlockWritten = false;
  NTSTATUS io = 0;  // the system copies it back on success only
  ULONG_PTR information = 0;
  BOOL ok = FALSE;
  DWORD error = 0;
  DWORD returned = 0;
  std::vector<std::uint8_t> output;
};

Outcome Request(HANDLE device, DWORD code, std::vector<std::uint8_t> input, DWORD outputLength) {
  Outcome result;
  std::vector<std::uint8_t> output(outputLength + 1, 0xEE);
  IO_STATUS_BLOCK io;
  io.Status = static_cast<NTSTATUS>(0x12345678);
  io.Information = 0xDEAD;
  result.status = NtDeviceIoControlFile(device, nullptr, nullptr, nullptr, &io, code,
                                        input.empty() ? nullptr : input.data(),
                                        static_cast<ULONG>(input.size()), output.data(),
                                        outputLength);
  result.io = io.Status;
  result.statusBlockWritten = io.Status != static_cast<NTSTATUS>(0x12345678);
  result.information = io.Information;

  std::vector<std::uint8_t> again(outputLength + 1, 0xEE);
  SetLastError(0xBEEF);
  result.returned = 0xDEAD;
  result.ok = DeviceIoControl(device, code, input.empty() ? nullptr : input.data(),
                              static_cast<DWORD>(input.size()), again.data(), outputLength,
                              &result.returned, nullptr);
  result.error = result.ok ? ERROR_SUCCESS : GetLastError();
  result.output = again;
  return result;
}

std::vector<std::uint8_t> PortInput(std::uint32_t port, std::size_t length,
                                    std::uint32_t value = 0) {
  std::vector<std::uint8_t> bytes(length < 8 ? 8 : length, 0);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(port >> (8 * i));
  for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::uint8_t>(value >> (8 * i));
  bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(length), bytes.end());
  return bytes;
}

// The two requests of the drawer service objects: a 4-byte input and a
// 16-byte output for a read, an 8-byte input for a write. -1: refused.
int ReadByte(HANDLE device, std::uint32_t port) {
  std::uint8_t out[16] = {};
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_READ_PORT_UCHAR, &port, 4, out, sizeof(out), &returned,
                       nullptr)) {
    return -1;
  }
  return returned == 1 ? out[0] : -2;
}

bool WriteByte(HANDLE device, std::uint32_t port, std::uint8_t value) {
  std::vector<std::uint8_t> in = PortInput(port, 8, value);
  DWORD returned = 0;
  return DeviceIoControl(device, IOCTL_WRITE_PORT_UCHAR, in.data(), 8, nullptr, 0, &returned,
                         nullptr) != FALSE;
}

bool SetDrawer(HANDLE device, std::uint32_t drawer, bool closed) {
  const TillportSimDrawerInput in = {drawer, closed ? 1u : 0u};
  DWORD returned = 0;
  return DeviceIoControl(device, IOCTL_TILLPORTSIM_SET_DRAWER, const_cast<TillportSimDrawerInput*>(&in),
                         sizeof(in), nullptr, 0, &returned, nullptr) != FALSE;
}

std::vector<TillportSimLogEntry> ReadLog(HANDLE device, std::uint32_t* total = nullptr) {
  std::vector<std::uint8_t> out(sizeof(TillportSimLogHeader) + 64 * sizeof(TillportSimLogEntry));
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_TILLPORTSIM_READ_LOG, nullptr, 0, out.data(),
                       static_cast<DWORD>(out.size()), &returned, nullptr)) {
    return {};
  }
  TillportSimLogHeader header;
  std::memcpy(&header, out.data(), sizeof(header));
  if (total != nullptr) *total = header.Total;
  std::vector<TillportSimLogEntry> entries(header.Count);
  if (header.Count) std::memcpy(entries.data(), out.data() + sizeof(header), header.Count * sizeof(TillportSimLogEntry));
  EXPECT_EQ(returned, sizeof(header) + header.Count * sizeof(TillportSimLogEntry));
  return entries;
}

bool ClearLog(HANDLE device) {
  DWORD returned = 0;
  return DeviceIoControl(device, IOCTL_TILLPORTSIM_CLEAR_LOG, nullptr, 0, nullptr, 0, &returned,
                         nullptr) != FALSE;
}

// The driver installed once for the whole program.
class Driver {
 public:
  static testbed::KernelService& Get() {
    static testbed::KernelService service("Tillport", testbed::BesideThisProgram("TillportSim.sys"));
    return service;
  }
};

class TillportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(Driver::Get().Install(error)) << error;
  }
  static void TearDownTestSuite() { Driver::Get().Remove(); }

  // Loads the driver with the given "Parameters" (none: the key is absent).
  void Load() {
    ASSERT_EQ(Driver::Get().Start(), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(testbed::WaitForDevice(TILLPORT_USER_PATH_W, true, kWait));
  }
  void Unload() {
    ASSERT_EQ(Driver::Get().Stop(), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(testbed::WaitForDevice(TILLPORT_USER_PATH_W, false, kWait));
  }
  void SetUp() override { Driver::Get().DeleteParameters(); }
  void TearDown() override {
    if (Driver::Get().State() == SERVICE_RUNNING) Unload();
  }
};

struct Case {
  const char* what;
  DWORD code;
  std::uint32_t port;
  std::size_t inputLength;
  DWORD outputLength;
  NTSTATUS status;
  ULONG_PTR information;
  DWORD win32Error;
};

TEST_F(TillportTest, RequestsAnswerTheirStatusInformationAndWin32Error) {
  ASSERT_NO_FATAL_FAILURE(Load());
  kit::UniqueHandle device = OpenTillport();
  ASSERT_TRUE(device) << GetLastError();
  const Case cases[] = {
      {"byte read at 0", IOCTL_READ_PORT_UCHAR, 0, 4, 1, kSuccess, 1, ERROR_SUCCESS},
      {"byte read at 1", IOCTL_READ_PORT_UCHAR, 1, 4, 1, kSuccess, 1, ERROR_SUCCESS},
      {"byte read at 1, 16-byte output", IOCTL_READ_PORT_UCHAR, 1, 4, 16, kSuccess, 1, ERROR_SUCCESS},
      {"byte read at 2", IOCTL_READ_PORT_UCHAR, 2, 4, 1, kAccessViolation, 0, ERROR_NOACCESS},
      {"word read at 1", IOCTL_READ_PORT_USHORT, 1, 4, 2, kAccessViolation, 0, ERROR_NOACCESS},
      {"word read at 0", IOCTL_READ_PORT_USHORT, 0, 4, 2, kSuccess, 2, ERROR_SUCCESS},
      {"dword read at 0", IOCTL_READ_PORT_ULONG, 0, 4, 4, kAccessViolation, 0, ERROR_NOACCESS},
      {"read with 3 input bytes", IOCTL_READ_PORT_UCHAR, 0, 3, 1, kInvalidParameter, 0, ERROR_INVALID_PARAMETER},
      {"word read into 1 byte", IOCTL_READ_PORT_USHORT, 0, 4, 1, kInvalidParameter, 0, ERROR_INVALID_PARAMETER},
      {"byte write with 4 input bytes", IOCTL_WRITE_PORT_UCHAR, 0, 4, 0, kInvalidParameter, 0, ERROR_INVALID_PARAMETER},
      {"byte write with 5 input bytes", IOCTL_WRITE_PORT_UCHAR, 0, 5, 0, kSuccess, 0, ERROR_SUCCESS},
      {"byte write with 8 input bytes", IOCTL_WRITE_PORT_UCHAR, 0, 8, 0, kSuccess, 0, ERROR_SUCCESS},
      {"byte write at 2", IOCTL_WRITE_PORT_UCHAR, 2, 5, 0, kAccessViolation, 0, ERROR_NOACCESS},
      {"word write at 0", IOCTL_WRITE_PORT_USHORT, 0, 6, 0, kSuccess, 0, ERROR_SUCCESS},
      {"word write with 5 input bytes", IOCTL_WRITE_PORT_USHORT, 0, 5, 0, kInvalidParameter, 0, ERROR_INVALID_PARAMETER},
      {"dword write at 0", IOCTL_WRITE_PORT_ULONG, 0, 8, 0, kAccessViolation, 0, ERROR_NOACCESS},
      {"unknown code of the device", 0x9C406440, 0, 8, 4, kNotImplemented, 0, ERROR_INVALID_FUNCTION},
      {"code of another device type", 0x00226400, 0, 8, 4, kNotImplemented, 0, ERROR_INVALID_FUNCTION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome r = Request(device.get(), c.code, PortInput(c.port, c.inputLength), c.outputLength);
    EXPECT_EQ(r.status, c.status);
    if (c.status == kSuccess) {
      ASSERT_TRUE(r.statusBlockWritten);
    }
    if (r.statusBlockWritten) {
      EXPECT_EQ(r.io, c.status);
      EXPECT_EQ(r.information, c.information);
    }
    EXPECT_EQ(r.ok != FALSE, c.status == kSuccess);
    EXPECT_EQ(r.error, c.win32Error);
    if (r.ok) {
      EXPECT_EQ(r.returned, c.information);
      // Nothing is written past the data size.
      EXPECT_EQ(r.output[c.information], 0xEE);
    }
  }
  // The word at 0x200 is the kick register (0 after the writes above of
  // value 0) and the status register (both drawers closed).
  const Outcome word = Request(device.get(), IOCTL_READ_PORT_USHORT, PortInput(0, 4), 2);
  ASSERT_TRUE(word.ok);
  EXPECT_EQ(word.output[0], 0x00);
  EXPECT_EQ(word.output[1], 0x03);
}

TEST_F(TillportTest, ThePulseOpensADrawerTheHandAtTheTillClosesItAndTheLogHasTheWrites) {
  ASSERT_NO_FATAL_FAILURE(Load());
  kit::UniqueHandle device = OpenTillport();
  ASSERT_TRUE(device);
  ASSERT_TRUE(ClearLog(device.get()));
  EXPECT_EQ(ReadByte(device.get(), 1), 0x03) << "both drawers start closed";

  // Drawer 2 in driver mode: 0x04, then 0x00, 300 ms later.
  ASSERT_TRUE(WriteByte(device.get(), 0, 0x04));
  EXPECT_EQ(ReadByte(device.get(), 1), 0x03) << "the drawer opens at the end of the pulse";
  Sleep(300);  // the pulse length itself, as the service object waits
  ASSERT_TRUE(WriteByte(device.get(), 0, 0x00));
  EXPECT_EQ(ReadByte(device.get(), 1), 0x01) << "drawer 2 open, drawer 1 still closed";

  std::uint32_t total = 0;
  const std::vector<TillportSimLogEntry> log = ReadLog(device.get(), &total);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(total, 2u);
  EXPECT_EQ(log[0].Port, 0x200u);
  EXPECT_EQ(log[0].Size, 1u);
  EXPECT_EQ(log[0].Value, 0x04u);
  EXPECT_EQ(log[1].Value, 0x00u);
  EXPECT_GE(log[1].TimeMs - log[0].TimeMs, 290u);
  EXPECT_LT(log[1].TimeMs - log[0].TimeMs, 5000u);

  // The hand at the till closes drawer 2 and opens drawer 1.
  ASSERT_TRUE(SetDrawer(device.get(), 2, true));
  ASSERT_TRUE(SetDrawer(device.get(), 1, false));
  EXPECT_EQ(ReadByte(device.get(), 1), 0x02);
  EXPECT_FALSE(SetDrawer(device.get(), 3, true));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  ASSERT_TRUE(ClearLog(device.get()));
  EXPECT_TRUE(ReadLog(device.get(), &total).empty());
  EXPECT_EQ(total, 0u);
}

TEST_F(TillportTest, TwoHandlesAtOnceBothServedConcurrently) {
  ASSERT_NO_FATAL_FAILURE(Load());
  kit::UniqueHandle first = OpenTillport();
  kit::UniqueHandle second = OpenTillport();
  ASSERT_TRUE(first) << GetLastError();
  ASSERT_TRUE(second) << "the device is not exclusive: error " << GetLastError();

  struct Worker {
    HANDLE device;
    std::uint32_t port;
    LONG failures = 0;
    static DWORD WINAPI Run(void* self) {
      auto* w = static_cast<Worker*>(self);
      for (int i = 0; i < 500; ++i) {
        if (ReadByte(w->device, w->port) < 0) ++w->failures;
      }
      return 0;
    }
  };
  Worker a{first.get(), 0};
  Worker b{second.get(), 1};
  kit::UniqueHandle ta(CreateThread(nullptr, 0, &Worker::Run, &a, 0, nullptr));
  kit::UniqueHandle tb(CreateThread(nullptr, 0, &Worker::Run, &b, 0, nullptr));
  ASSERT_TRUE(ta && tb);
  const HANDLE both[2] = {ta.get(), tb.get()};
  ASSERT_EQ(WaitForMultipleObjects(2, both, TRUE, 60000), WAIT_OBJECT_0);
  EXPECT_EQ(a.failures, 0);
  EXPECT_EQ(b.failures, 0);
  // Closing one leaves the other working.
  first.reset();
  EXPECT_EQ(ReadByte(second.get(), 1), 0x03);
}

// Only the device itself opens: a name below it would get round the
// device's access check (the security descriptor it is created with), so
// the driver refuses it. (Wine's object manager already refuses these
// names before a driver sees them; the driver's own check is unit-tested.)
TEST_F(TillportTest, NamesBelowTheDeviceAreRefused) {
  ASSERT_NO_FATAL_FAILURE(Load());
  for (const wchar_t* below : {L"\\\\.\\Tillport\\x", L"\\\\.\\Tillport\\anything\\deeper"}) {
    kit::UniqueHandle handle(CreateFileW(below, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(handle) << "opened " << std::string(below, below + wcslen(below));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }
  kit::UniqueHandle device = OpenTillport();
  ASSERT_TRUE(device) << GetLastError();
  EXPECT_EQ(ReadByte(device.get(), 1), 0x03);
  // Relative to an open handle of the device, as NtCreateFile allows.
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"x");
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, device.get(), nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE relative = nullptr;
  const NTSTATUS status = NtCreateFile(&relative, GENERIC_READ | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT,
                                       nullptr, 0);
  EXPECT_NE(status, kSuccess) << std::hex << status;
  if (status == kSuccess) CloseHandle(relative);
}

TEST_F(TillportTest, ParametersAreReadAtLoad) {
  ASSERT_TRUE(Driver::Get().SetParameter("IoPortAddress", 0x1F8));
  ASSERT_TRUE(Driver::Get().SetParameter("IoPortCount", 12));
  ASSERT_NO_FATAL_FAILURE(Load());
  {
    kit::UniqueHandle device = OpenTillport();
    ASSERT_TRUE(device);
    // 0x1F8 + 8 is the kick register, + 9 the status register.
    EXPECT_EQ(ReadByte(device.get(), 9), 0x03);
    EXPECT_EQ(ReadByte(device.get(), 0), 0xFF) << "no register at 0x1F8";
    EXPECT_EQ(ReadByte(device.get(), 11), 0xFF);
    EXPECT_EQ(ReadByte(device.get(), 12), -1);
    const Outcome dword = Request(device.get(), IOCTL_READ_PORT_ULONG, PortInput(8, 4), 4);
    ASSERT_TRUE(dword.ok) << dword.error;
    EXPECT_EQ(dword.output[1], 0x03);
  }
  ASSERT_NO_FATAL_FAILURE(Unload());

  // A changed value takes effect at the next load.
  ASSERT_TRUE(Driver::Get().SetParameter("IoPortCount", 0));
  ASSERT_NO_FATAL_FAILURE(Load());
  kit::UniqueHandle device = OpenTillport();
  ASSERT_TRUE(device);
  for (const TillportControlCodeInfo& info : TillportControlCodes) {
    SCOPED_TRACE(info.Name);
    const Outcome r = Request(device.get(), info.Code, PortInput(0, 8), 4);
    EXPECT_EQ(r.status, kAccessViolation) << "a range of 0 ports refuses every request";
  }
}

TEST_F(TillportTest, MissingValuesKeepTheirDefaults) {
  struct Setting {
    const char* what;
    bool address;
    bool count;
    int statusPort;  // where the status register appears
    std::uint32_t firstRefused;
  };
  // Defaults: 0x200 and 2. "IoPortAddress" 0x201 puts the status register
  // at offset 0; "IoPortCount" 6 widens the range.
  const Setting settings[] = {
      {"key absent", false, false, 1, 2},
      {"only IoPortAddress", true, false, 0, 2},
      {"only IoPortCount", false, true, 1, 6},
  };
  for (const Setting& s : settings) {
    SCOPED_TRACE(s.what);
    Driver::Get().DeleteParameters();
    if (s.address || s.count) {
      // An empty key, or a key with one value.
      ASSERT_TRUE(Driver::Get().SetParameter("Placeholder", 1));
      ASSERT_TRUE(Driver::Get().DeleteParameter("Placeholder"));
    }
    if (s.address) {
      ASSERT_TRUE(Driver::Get().SetParameter("IoPortAddress", 0x201));
    }
    if (s.count) {
      ASSERT_TRUE(Driver::Get().SetParameter("IoPortCount", 6));
    }
    ASSERT_NO_FATAL_FAILURE(Load());
    {
      kit::UniqueHandle device = OpenTillport();
      ASSERT_TRUE(device);
      EXPECT_EQ(ReadByte(device.get(), s.statusPort), 0x03);
      EXPECT_NE(ReadByte(device.get(), s.firstRefused - 1), -1);
      EXPECT_EQ(ReadByte(device.get(), s.firstRefused), -1);
    }
    ASSERT_NO_FATAL_FAILURE(Unload());
  }
}

TEST_F(TillportTest, AValueOfTheWrongTypeKeepsItsDefault) {
  ASSERT_TRUE(Driver::Get().SetParameterString("IoPortCount", "8"));
  ASSERT_TRUE(Driver::Get().SetParameterString("IoPortAddress", "0x300 and then some more text"));
  ASSERT_NO_FATAL_FAILURE(Load());
  kit::UniqueHandle device = OpenTillport();
  ASSERT_TRUE(device);
  EXPECT_EQ(ReadByte(device.get(), 1), 0x03);
  EXPECT_EQ(ReadByte(device.get(), 2), -1);
}

TEST_F(TillportTest, ARangePastPortFFFFIsRefusedAtLoad) {
  ASSERT_TRUE(Driver::Get().SetParameter("IoPortAddress", 0xFFFF));
  ASSERT_TRUE(Driver::Get().SetParameter("IoPortCount", 2));
  const DWORD error = Driver::Get().Start();
  // STATUS_INVALID_PARAMETER, as the service manager reports it.
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_NE(Driver::Get().State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_FALSE(OpenTillport());

  // A count that wraps round in 32 bits is refused as well; the last port
  // alone is fine.
  ASSERT_TRUE(Driver::Get().SetParameter("IoPortAddress", 0x200));
  ASSERT_TRUE(Driver::Get().SetParameter("IoPortCount", 0xFFFFFE01));
  EXPECT_EQ(Driver::Get().Start(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(OpenTillport());
  ASSERT_TRUE(Driver::Get().SetParameter("IoPortAddress", 0xFFFF));
  ASSERT_TRUE(Driver::Get().SetParameter("IoPortCount", 1));
  ASSERT_NO_FATAL_FAILURE(Load());
  kit::UniqueHandle device = OpenTillport();
  EXPECT_EQ(ReadByte(device.get(), 0), 0xFF);
}

// A range the bus answers in memory space: the driver maps it and reaches
// the registers with register accesses. The simulated bus puts the ISA
// ports at TILLPORTSIM_MEMORY_WINDOW, so the log shows the physical
// addresses the mapped accesses went to.
TEST_F(TillportTest, AMemorySpaceRangeIsMappedAndServedByRegisterAccesses) {
  ASSERT_TRUE(Driver::Get().SetParameter("SimMemorySpace", 1));
  ASSERT_NO_FATAL_FAILURE(Load());
  kit::UniqueHandle device = OpenTillport();
  ASSERT_TRUE(device);
  ASSERT_TRUE(ClearLog(device.get()));
  EXPECT_EQ(ReadByte(device.get(), 1), 0x03);
  ASSERT_TRUE(WriteByte(device.get(), 0, 0x01));
  ASSERT_TRUE(WriteByte(device.get(), 0, 0x00));
  EXPECT_EQ(ReadByte(device.get(), 1), 0x02) << "drawer 1 opened through the mapping";
  const std::vector<TillportSimLogEntry> log = ReadLog(device.get());
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Port, TILLPORTSIM_MEMORY_WINDOW + 0x200u);
  EXPECT_EQ(log[0].Value, 0x01u);
  const Outcome word = Request(device.get(), IOCTL_READ_PORT_USHORT, PortInput(0, 4), 2);
  EXPECT_EQ(word.status, kSuccess);
  EXPECT_EQ(word.output[1], 0x02);

  // The range checks hold in this mode too, whatever the mapping's address:
  // past the end, across it, and sums that wrap round in 32 bits.
  const struct {
    DWORD code;
    std::uint32_t port;
    std::size_t input;
    DWORD output;
  } refused[] = {{IOCTL_READ_PORT_UCHAR, 2, 4, 1},           {IOCTL_READ_PORT_USHORT, 1, 4, 2},
                 {IOCTL_READ_PORT_ULONG, 0, 4, 4},           {IOCTL_WRITE_PORT_UCHAR, 0xFFFFFFFFu, 5, 0},
                 {IOCTL_READ_PORT_USHORT, 0xFFFFFFFFu, 4, 2}, {IOCTL_WRITE_PORT_ULONG, 0xFFFFFFFEu, 8, 0}};
  for (const auto& r : refused) {
    EXPECT_EQ(Request(device.get(), r.code, PortInput(r.port, r.input), r.output).status, kAccessViolation)
        << std::hex << r.code << " at " << r.port;
  }
  EXPECT_EQ(ReadLog(device.get()).size(), 2u) << "no refused request reached a register";
}

TEST_F(TillportTest, ASecondLoadOfHeldPortsIsAConflictUntilTheyAreReleased) {
  ASSERT_NO_FATAL_FAILURE(Load());  // holds 0x200 and 0x201
  // A second driver (another copy of the test build) wants 0x201 to 0x204.
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string copy = std::string(temp) + "TillportSimB.sys";
  ASSERT_TRUE(CopyFileA(testbed::BesideThisProgram("TillportSim.sys").c_str(), copy.c_str(), FALSE));
  testbed::KernelService second("TillportB", copy);
  std::string error;
  ASSERT_TRUE(second.Install(error)) << error;
  ASSERT_TRUE(second.SetParameter("IoPortAddress", 0x201));
  ASSERT_TRUE(second.SetParameter("IoPortCount", 4));

  // STATUS_DEVICE_CONFIGURATION_ERROR, as the service manager reports it.
  EXPECT_EQ(second.Start(), RtlNtStatusToDosError(static_cast<NTSTATUS>(0xC0000182)));
  EXPECT_NE(second.State(), static_cast<DWORD>(SERVICE_RUNNING));
  {
    kit::UniqueHandle device = OpenTillport();
    ASSERT_TRUE(device);
    EXPECT_EQ(ReadByte(device.get(), 1), 0x03) << "the first driver still serves";
  }

  // Once the first one unloads, its ports are free for the second.
  ASSERT_NO_FATAL_FAILURE(Unload());
  ASSERT_EQ(second.Start(), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(testbed::WaitForDevice(TILLPORT_USER_PATH_W, true, kWait));
  {
    kit::UniqueHandle device = OpenTillport();
    ASSERT_TRUE(device);
    EXPECT_EQ(ReadByte(device.get(), 0), 0x03) << "offset 0 is now the status register";
    EXPECT_EQ(ReadByte(device.get(), 3), 0xFF);
  }
  EXPECT_EQ(second.Stop(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(testbed::WaitForDevice(TILLPORT_USER_PATH_W, false, kWait));
  EXPECT_TRUE(second.Remove());
  DeleteFileA(copy.c_str());
}

TEST_F(TillportTest, UnloadRemovesTheDeviceAndALaterLoadBringsItBack) {
  ASSERT_NO_FATAL_FAILURE(Load());
  ASSERT_NO_FATAL_FAILURE(Unload());
  EXPECT_FALSE(OpenTillport());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_NO_FATAL_FAILURE(Load());
  kit::UniqueHandle device = OpenTillport();
  ASSERT_TRUE(device);
  EXPECT_EQ(ReadByte(device.get(), 1), 0x03) << "a fresh load starts with both drawers closed";
}

// The shipping build under Wine: the system's resource report is not
// implemented there, so its load stops at the claim with that status
// (STATUS_NOT_IMPLEMENTED, ERROR_INVALID_FUNCTION) and no device appears.
// Had it any of the simulated build's code, it would load.
TEST(ShippingTillport, StopsAtTheResourceClaimUnderWine) {
  testbed::KernelService shipping("Tillport", testbed::BesideThisProgram("Tillport.sys"));
  std::string error;
  ASSERT_TRUE(shipping.Install(error)) << error;
  EXPECT_EQ(shipping.Start(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  EXPECT_NE(shipping.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_FALSE(OpenTillport());
  EXPECT_TRUE(shipping.Remove());
}

}  // namespace
