/*
 * The simulated register bank of TillportSim.sys (test build only): the
 * kick and status registers of the two cash drawers and a log of writes.
 * Plain portable C; the driver wraps it in a lock, the unit tests drive it
 * directly. See tillport_sim_ioctl.h for what the registers do.
 */
#ifndef TILLPORT_SIMBANK_H
#define TILLPORT_SIMBANK_H

#include <stdint.h>

#include "tillport_sim_ioctl.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TillportSimBank {
  uint8_t Kick;
  uint8_t Status;
  uint32_t LogTotal;
  uint32_t LogCount;
  TillportSimLogEntry Log[TILLPORTSIM_LOG_CAPACITY];
} TillportSimBank;

/* Both drawers closed, kick register 0, empty log. */
void TillportSimInit(TillportSimBank* bank);
/* A read of `size` bytes at `address`, little-endian, byte by byte. */
uint32_t TillportSimRead(const TillportSimBank* bank, uint64_t address, uint32_t size);
/* A write of `size` bytes at `address`, logged with `timeMs`. */
void TillportSimWrite(TillportSimBank* bank, uint64_t address, uint32_t size, uint32_t value,
                      uint32_t timeMs);
/*
 * One of the IOCTL_TILLPORTSIM_* requests on a METHOD_BUFFERED buffer:
 * `buffer` holds `inputLength` input bytes and has room for `outputLength`
 * output bytes. Answers the NT status; `*information` the bytes returned.
 */
uint32_t TillportSimControl(TillportSimBank* bank, uint32_t code, uint8_t* buffer,
                            uint32_t inputLength, uint32_t outputLength, uint32_t* information);

#ifdef __cplusplus
}
#endif

#endif /* TILLPORT_SIMBANK_H */
