/*
 * TEST BUILD ONLY (TillportSim.sys): the hardware seams bound to a
 * simulated register bank instead of the system. Under Wine the real
 * resource report is not implemented, the bus translation fails and port
 * instructions fault; this build lets the rest of the driver, which is the
 * shipping code, run there.
 */
#include "hardware_win.h"

#include "simbank.h"

#define TILLPORT_SIM_POOL_TAG ((ULONG)'T' | (ULONG)'s' << 8 | (ULONG)'i' << 16 | (ULONG)'m' << 24)

static TillportSimBank* g_bank;
static KSPIN_LOCK g_bankLock;

/* Memory-space mode: the bus's answer, and the "mapping" of the range. */
static BOOLEAN g_memorySpace;
static PUCHAR g_mapBase;
static ULONGLONG g_mapPhysical;

/*
 * The simulated ISA bus's record of claimed ports, one bit per port of the
 * I/O space, in a named section shared by every loaded copy of this build:
 * a second driver claiming a port already held gets a conflict, as from
 * the system's resource report.
 */
#define TILLPORT_SIM_BUS_BYTES ((TILLPORT_LAST_PORT + 1u) / 8u)
static HANDLE g_busSection;
static PUCHAR g_bus;
static ULONG g_claimAddress;
static ULONG g_claimCount;
static BOOLEAN g_claimed;

static NTSTATUS OpenBus(VOID) {
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES attributes;
  LARGE_INTEGER size;
  SIZE_T viewSize = 0;
  PVOID view = NULL;
  NTSTATUS status;

  RtlInitUnicodeString(&name, L"\\BaseNamedObjects\\TillportSimIsaBus");
  InitializeObjectAttributes(&attributes, &name, OBJ_OPENIF | OBJ_KERNEL_HANDLE, NULL, NULL);
  size.QuadPart = TILLPORT_SIM_BUS_BYTES;
  status = ZwCreateSection(&g_busSection, SECTION_ALL_ACCESS, &attributes, &size, PAGE_READWRITE,
                           SEC_COMMIT, NULL);
  if (!NT_SUCCESS(status)) return status;
  status = ZwMapViewOfSection(g_busSection, NtCurrentProcess(), &view, 0, 0, NULL, &viewSize,
                              ViewUnmap, 0, PAGE_READWRITE);
  if (!NT_SUCCESS(status)) {
    ZwClose(g_busSection);
    g_busSection = NULL;
    return status;
  }
  g_bus = (PUCHAR)view;
  return STATUS_SUCCESS;
}

static VOID CloseBus(VOID) {
  if (g_bus != NULL) ZwUnmapViewOfSection(NtCurrentProcess(), g_bus);
  if (g_busSection != NULL) ZwClose(g_busSection);
  g_bus = NULL;
  g_busSection = NULL;
}

static BOOLEAN PortHeld(ULONG port) { return (g_bus[port / 8u] >> (port % 8u)) & 1u; }

static VOID MarkPorts(ULONG address, ULONG count, BOOLEAN held) {
  ULONG port;
  for (port = address; port < address + count; ++port) {
    const UCHAR bit = (UCHAR)(1u << (port % 8u));
    g_bus[port / 8u] = (UCHAR)(held ? (g_bus[port / 8u] | bit) : (g_bus[port / 8u] & ~bit));
  }
}

static ULONG NowMs(VOID) {
  LARGE_INTEGER frequency;
  LARGE_INTEGER now = KeQueryPerformanceCounter(&frequency);
  ULONGLONG ticks = (ULONGLONG)now.QuadPart;
  ULONGLONG perSecond = (ULONGLONG)frequency.QuadPart;
  if (perSecond == 0) return 0;
  return (ULONG)((ticks / perSecond) * 1000u + (ticks % perSecond) * 1000u / perSecond);
}

NTSTATUS TillportSimStart(BOOLEAN memorySpace) {
  NTSTATUS status = OpenBus();
  g_memorySpace = memorySpace;
  if (!NT_SUCCESS(status)) return status;
  KeInitializeSpinLock(&g_bankLock);
  g_bank = (TillportSimBank*)ExAllocatePoolWithTag(NonPagedPool, sizeof(TillportSimBank),
                                                    TILLPORT_SIM_POOL_TAG);
  if (g_bank == NULL) {
    CloseBus();
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  TillportSimInit(g_bank);
  return STATUS_SUCCESS;
}

VOID TillportSimStop(VOID) {
  if (g_bank != NULL) ExFreePool(g_bank);
  g_bank = NULL;
  CloseBus();
}

NTSTATUS TillportClaimPorts(PDRIVER_OBJECT driver, ULONG address, ULONG count, PBOOLEAN conflict) {
  ULONG port;
  UNREFERENCED_PARAMETER(driver);
  /* The range was checked to end at port 0xFFFF at the latest. */
  *conflict = FALSE;
  for (port = address; port < address + count; ++port) {
    if (PortHeld(port)) {
      *conflict = TRUE;
      return STATUS_SUCCESS;
    }
  }
  MarkPorts(address, count, TRUE);
  g_claimAddress = address;
  g_claimCount = count;
  g_claimed = TRUE;
  return STATUS_SUCCESS;
}

VOID TillportReleasePorts(PDRIVER_OBJECT driver) {
  UNREFERENCED_PARAMETER(driver);
  if (g_claimed) MarkPorts(g_claimAddress, g_claimCount, FALSE);
  g_claimed = FALSE;
}

BOOLEAN TillportTranslateAddress(ULONG address, PULONG addressSpace, PPHYSICAL_ADDRESS translated) {
  if (g_memorySpace) {
    *addressSpace = 0;
    translated->QuadPart = (LONGLONG)(TILLPORTSIM_MEMORY_WINDOW + address);
    return TRUE;
  }
  /* ISA I/O space maps one to one, as on a PC. */
  *addressSpace = 1;
  translated->QuadPart = address;
  return TRUE;
}

/*
 * The "mapping" is memory of its own, never touched: a register access at
 * an address inside it goes to the bank at the matching physical address.
 */
PVOID TillportMapRegisters(PHYSICAL_ADDRESS translated, ULONG count) {
  g_mapBase = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, count != 0 ? count : 1u, TILLPORT_SIM_POOL_TAG);
  g_mapPhysical = (ULONGLONG)translated.QuadPart;
  return g_mapBase;
}

VOID TillportUnmapRegisters(PVOID base, ULONG count) {
  UNREFERENCED_PARAMETER(count);
  if (base != NULL) ExFreePool(base);
  g_mapBase = NULL;
}

/* The bank's address of a checked request: a port, or a mapped register. */
static ULONGLONG BankAddress(const TillportRequest* request) {
  if (request->UsePorts) return request->Address;
  return g_mapPhysical + (request->Address - (ULONGLONG)(ULONG_PTR)g_mapBase);
}

ULONG TillportReadHardware(const TillportRequest* request) {
  KIRQL irql;
  ULONG value;
  KeAcquireSpinLock(&g_bankLock, &irql);
  value = TillportSimRead(g_bank, BankAddress(request), request->Size);
  KeReleaseSpinLock(&g_bankLock, irql);
  return value;
}

VOID TillportWriteHardware(const TillportRequest* request) {
  KIRQL irql;
  const ULONG now = NowMs();
  KeAcquireSpinLock(&g_bankLock, &irql);
  TillportSimWrite(g_bank, BankAddress(request), request->Size, request->Value, now);
  KeReleaseSpinLock(&g_bankLock, irql);
}

NTSTATUS TillportSimRequest(ULONG code, PVOID buffer, ULONG inputLength, ULONG outputLength,
                            PULONG_PTR information) {
  KIRQL irql;
  uint32_t returned = 0;
  NTSTATUS status;
  KeAcquireSpinLock(&g_bankLock, &irql);
  status = (NTSTATUS)TillportSimControl(g_bank, code, (uint8_t*)buffer, inputLength, outputLength,
                                        &returned);
  KeReleaseSpinLock(&g_bankLock, irql);
  *information = returned;
  return status;
}
