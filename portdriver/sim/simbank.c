/*
 * The simulated register bank of TillportSim.sys. See simbank.h.
 */
#include "simbank.h"

#include "requestcheck.h"

/* Kick bit and status bit of drawer 1 and drawer 2. */
static const uint8_t kKickBits[2] = {0x01u, 0x04u};
static const uint8_t kStatusBits[2] = {0x01u, 0x02u};

void TillportSimInit(TillportSimBank* bank) {
  bank->Kick = 0;
  bank->Status = (uint8_t)(kStatusBits[0] | kStatusBits[1]);
  bank->LogTotal = 0;
  bank->LogCount = 0;
}

/* The ISA address of a port, or of a register in the memory window. */
static uint64_t IsaAddress(uint64_t address) {
  return address >= TILLPORTSIM_MEMORY_WINDOW ? address - TILLPORTSIM_MEMORY_WINDOW : address;
}

static uint8_t ReadByte(const TillportSimBank* bank, uint64_t address) {
  const uint64_t port = IsaAddress(address);
  if (port == TILLPORTSIM_KICK_PORT) return bank->Kick;
  if (port == TILLPORTSIM_STATUS_PORT) return bank->Status;
  return 0xFFu; /* nothing answers: the bus floats high */
}

static void WriteByte(TillportSimBank* bank, uint64_t address, uint8_t value) {
  const uint64_t port = IsaAddress(address);
  uint32_t drawer;
  if (port != TILLPORTSIM_KICK_PORT) return;
  /* A drawer opens when its kick bit falls: the end of a pulse. */
  for (drawer = 0; drawer < 2; ++drawer) {
    if ((bank->Kick & kKickBits[drawer]) != 0 && (value & kKickBits[drawer]) == 0) {
      bank->Status = (uint8_t)(bank->Status & ~kStatusBits[drawer]);
    }
  }
  bank->Kick = value;
}

uint32_t TillportSimRead(const TillportSimBank* bank, uint64_t address, uint32_t size) {
  uint32_t value = 0;
  uint32_t i;
  for (i = 0; i < size && i < 4u; ++i) value |= (uint32_t)ReadByte(bank, address + i) << (8u * i);
  return value;
}

void TillportSimWrite(TillportSimBank* bank, uint64_t address, uint32_t size, uint32_t value,
                      uint32_t timeMs) {
  uint32_t i;
  for (i = 0; i < size && i < 4u; ++i) WriteByte(bank, address + i, (uint8_t)(value >> (8u * i)));
  if (bank->LogCount < TILLPORTSIM_LOG_CAPACITY) {
    TillportSimLogEntry* entry = &bank->Log[bank->LogCount++];
    entry->TimeMs = timeMs;
    entry->Port = (uint32_t)address;
    entry->Size = size;
    entry->Value = value;
  }
  if (bank->LogTotal != UINT32_MAX) ++bank->LogTotal;
}

static uint32_t Load32(const uint8_t* bytes) {
  return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
         (uint32_t)bytes[3] << 24;
}

uint32_t TillportSimControl(TillportSimBank* bank, uint32_t code, uint8_t* buffer,
                            uint32_t inputLength, uint32_t outputLength, uint32_t* information) {
  *information = 0;
  if (code == IOCTL_TILLPORTSIM_SET_DRAWER) {
    uint32_t drawer;
    uint32_t closed;
    if (inputLength < sizeof(TillportSimDrawerInput)) return TILLPORT_STATUS_INVALID_PARAMETER;
    drawer = Load32(buffer);
    closed = Load32(buffer + 4);
    if ((drawer != 1u && drawer != 2u) || closed > 1u) return TILLPORT_STATUS_INVALID_PARAMETER;
    if (closed) {
      bank->Status = (uint8_t)(bank->Status | kStatusBits[drawer - 1u]);
    } else {
      bank->Status = (uint8_t)(bank->Status & ~kStatusBits[drawer - 1u]);
    }
    return TILLPORT_STATUS_SUCCESS;
  }
  if (code == IOCTL_TILLPORTSIM_READ_LOG) {
    const uint32_t header = (uint32_t)sizeof(TillportSimLogHeader);
    const uint32_t entrySize = (uint32_t)sizeof(TillportSimLogEntry);
    uint32_t fit;
    uint32_t i;
    uint8_t* out;
    if (outputLength < header) return TILLPORT_STATUS_INVALID_PARAMETER;
    fit = (outputLength - header) / entrySize;
    if (fit > bank->LogCount) fit = bank->LogCount;
    TillportStoreValue(buffer, 4, bank->LogTotal);
    TillportStoreValue(buffer + 4, 4, fit);
    out = buffer + header;
    for (i = 0; i < fit; ++i, out += entrySize) {
      TillportStoreValue(out, 4, bank->Log[i].TimeMs);
      TillportStoreValue(out + 4, 4, bank->Log[i].Port);
      TillportStoreValue(out + 8, 4, bank->Log[i].Size);
      TillportStoreValue(out + 12, 4, bank->Log[i].Value);
    }
    *information = header + fit * entrySize;
    return TILLPORT_STATUS_SUCCESS;
  }
  if (code == IOCTL_TILLPORTSIM_CLEAR_LOG) {
    bank->LogTotal = 0;
    bank->LogCount = 0;
    return TILLPORT_STATUS_SUCCESS;
  }
  return TILLPORT_STATUS_NOT_IMPLEMENTED;
}
