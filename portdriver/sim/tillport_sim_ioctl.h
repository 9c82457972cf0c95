/*
 * TEST BUILD ONLY: the extra requests of TillportSim.sys, the Tillport
 * build whose ports are a simulated register bank (for tests under Wine).
 * The shipping Tillport.sys answers these codes with STATUS_NOT_IMPLEMENTED
 * like any other unknown code. Nothing that ships includes this header.
 *
 * The bank models the two cash drawers behind ports 0x200 and 0x201:
 *   0x200  kick register: a pulse (1, then 0) of bit 0 opens drawer 1, of
 *          bit 2 drawer 2; it reads back the last byte written
 *   0x201  status register: bit 0 set while drawer 1 is closed, bit 1 while
 *          drawer 2 is closed (both start closed); writes are ignored
 * Every other port reads 0xFF and ignores writes. Every write is logged.
 */
#ifndef TILLPORT_SIM_IOCTL_H
#define TILLPORT_SIM_IOCTL_H

#include <stdint.h>

#include "tillport_ioctl.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TILLPORTSIM_KICK_PORT 0x200u
#define TILLPORTSIM_STATUS_PORT 0x201u

/*
 * With the service's "Parameters" value "SimMemorySpace" (REG_DWORD) not 0,
 * the simulated bus answers the range in memory space, at this physical
 * address plus the ISA address: the same registers, reached through the
 * driver's mapping and register accesses; the log then shows the physical
 * addresses written.
 */
#define TILLPORTSIM_MEMORY_WINDOW 0xFED00000u

/* Input TillportSimDrawerInput, no output: the hand at the till closes or opens a drawer. */
#define IOCTL_TILLPORTSIM_SET_DRAWER TILLPORT_CTL_CODE(0xA00, TILLPORT_FILE_WRITE_ACCESS)
/* No input; output TillportSimLogHeader followed by as many entries as fit. */
#define IOCTL_TILLPORTSIM_READ_LOG TILLPORT_CTL_CODE(0xA01, TILLPORT_FILE_READ_ACCESS)
/* No input, no output: empties the log. */
#define IOCTL_TILLPORTSIM_CLEAR_LOG TILLPORT_CTL_CODE(0xA02, TILLPORT_FILE_WRITE_ACCESS)

typedef struct TillportSimDrawerInput {
  uint32_t Drawer; /* 1 or 2 */
  uint32_t Closed; /* 1 closed, 0 open */
} TillportSimDrawerInput;

typedef struct TillportSimLogHeader {
  uint32_t Total; /* writes since the log was last cleared (some may not be kept) */
  uint32_t Count; /* entries that follow */
} TillportSimLogHeader;

typedef struct TillportSimLogEntry {
  uint32_t TimeMs; /* the driver's millisecond clock at the write */
  uint32_t Port;   /* absolute port (or register) address written */
  uint32_t Size;   /* 1, 2 or 4 */
  uint32_t Value;
} TillportSimLogEntry;

TILLPORT_LAYOUT(sizeof(TillportSimDrawerInput) == 8);
TILLPORT_LAYOUT(offsetof(TillportSimDrawerInput, Drawer) == 0);
TILLPORT_LAYOUT(offsetof(TillportSimDrawerInput, Closed) == 4);
TILLPORT_LAYOUT(sizeof(TillportSimLogHeader) == 8);
TILLPORT_LAYOUT(offsetof(TillportSimLogHeader, Total) == 0);
TILLPORT_LAYOUT(offsetof(TillportSimLogHeader, Count) == 4);
TILLPORT_LAYOUT(sizeof(TillportSimLogEntry) == 16);
TILLPORT_LAYOUT(offsetof(TillportSimLogEntry, TimeMs) == 0);
TILLPORT_LAYOUT(offsetof(TillportSimLogEntry, Port) == 4);
TILLPORT_LAYOUT(offsetof(TillportSimLogEntry, Size) == 8);
TILLPORT_LAYOUT(offsetof(TillportSimLogEntry, Value) == 12);

/* The log keeps the first writes after a clear, up to this many. */
#define TILLPORTSIM_LOG_CAPACITY 1024u

#ifdef __cplusplus
}
#endif

#endif /* TILLPORT_SIM_IOCTL_H */
