/*
 * The hardware seams of Tillport: claiming the port range, translating its
 * bus address, and the port and register accesses themselves.
 * hardware_win.c binds them to the system (Tillport.sys, which ships);
 * sim/simhardware_win.c binds them to a simulated register bank
 * (TillportSim.sys, a test build). Everything else is the same code.
 */
#ifndef TILLPORT_HARDWARE_WIN_H
#define TILLPORT_HARDWARE_WIN_H

#include <ntddk.h>

#include "requestcheck.h"

/*
 * Reports the claim of `count` ports from `address` (ISA, bus 0, exclusive);
 * `*conflict` is TRUE when another driver already holds them.
 */
NTSTATUS TillportClaimPorts(PDRIVER_OBJECT driver, ULONG address, ULONG count, PBOOLEAN conflict);
/* Reports an empty resource list, releasing the claim. */
VOID TillportReleasePorts(PDRIVER_OBJECT driver);
/* Translates ISA bus 0 `address`, asking for I/O space (*addressSpace 1 in and out). */
BOOLEAN TillportTranslateAddress(ULONG address, PULONG addressSpace, PPHYSICAL_ADDRESS translated);
/* Maps a range the translation put in memory space; NULL when it cannot. */
PVOID TillportMapRegisters(PHYSICAL_ADDRESS translated, ULONG count);
VOID TillportUnmapRegisters(PVOID base, ULONG count);
/* Performs a checked read or write; a read answers the value. */
ULONG TillportReadHardware(const TillportRequest* request);
VOID TillportWriteHardware(const TillportRequest* request);

#ifdef TILLPORT_SIM
/*
 * Test build only: sets up and drops the simulated bank. With `memorySpace`
 * the simulated bus answers the range in memory space, at
 * TILLPORTSIM_MEMORY_WINDOW + the ISA address, so the driver maps it and
 * takes the register path.
 */
NTSTATUS TillportSimStart(BOOLEAN memorySpace);
VOID TillportSimStop(VOID);
/* Test build only: answers the IOCTL_TILLPORTSIM_* requests. */
NTSTATUS TillportSimRequest(ULONG code, PVOID buffer, ULONG inputLength, ULONG outputLength,
                            PULONG_PTR information);
#endif

#endif /* TILLPORT_HARDWARE_WIN_H */
