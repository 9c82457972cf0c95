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

static ULONG NowMs(VOID) {
  LARGE_INTEGER frequency;
  LARGE_INTEGER now = KeQueryPerformanceCounter(&frequency);
  ULONGLONG ticks = (ULONGLONG)now.QuadPart;
  ULONGLONG perSecond = (ULONGLONG)frequency.QuadPart;
  if (perSecond == 0) return 0;
  return (ULONG)((ticks / perSecond) * 1000u + (ticks % perSecond) * 1000u / perSecond);
}

NTSTATUS TillportSimStart(VOID) {
  KeInitializeSpinLock(&g_bankLock);
  g_bank = (TillportSimBank*)ExAllocatePoolWithTag(NonPagedPool, sizeof(TillportSimBank),
                                                    TILLPORT_SIM_POOL_TAG);
  if (g_bank == NULL) return STATUS_INSUFFICIENT_RESOURCES;
  TillportSimInit(g_bank);
  return STATUS_SUCCESS;
}

VOID TillportSimStop(VOID) {
  if (g_bank != NULL) ExFreePool(g_bank);
  g_bank = NULL;
}

NTSTATUS TillportClaimPorts(PDRIVER_OBJECT driver, ULONG address, ULONG count, PBOOLEAN conflict) {
  UNREFERENCED_PARAMETER(driver);
  UNREFERENCED_PARAMETER(address);
  UNREFERENCED_PARAMETER(count);
  *conflict = FALSE;
  return STATUS_SUCCESS;
}

VOID TillportReleasePorts(PDRIVER_OBJECT driver) { UNREFERENCED_PARAMETER(driver); }

BOOLEAN TillportTranslateAddress(ULONG address, PULONG addressSpace, PPHYSICAL_ADDRESS translated) {
  /* ISA I/O space maps one to one, as on a PC. */
  *addressSpace = 1;
  translated->QuadPart = address;
  return TRUE;
}

ULONG TillportReadHardware(const TillportRequest* request) {
  KIRQL irql;
  ULONG value;
  KeAcquireSpinLock(&g_bankLock, &irql);
  value = TillportSimRead(g_bank, request->Address, request->Size);
  KeReleaseSpinLock(&g_bankLock, irql);
  return value;
}

VOID TillportWriteHardware(const TillportRequest* request) {
  KIRQL irql;
  const ULONG now = NowMs();
  KeAcquireSpinLock(&g_bankLock, &irql);
  TillportSimWrite(g_bank, request->Address, request->Size, request->Value, now);
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
