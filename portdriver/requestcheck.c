/*
 * Request and range checks of Tillport. See requestcheck.h.
 *
 * All range arithmetic is done in 64 bits, so that neither a PortNumber near
 * 2^32 nor a configured count near 2^32 can wrap round into a valid range.
 */
#include "requestcheck.h"

#include "tillport_ioctl.h"
#ifdef TILLPORT_SIM
#include "tillport_sim_ioctl.h"
#endif

static uint32_t LoadLittleEndian(const uint8_t* bytes, uint32_t size) {
  uint32_t value = 0;
  uint32_t i;
  for (i = 0; i < size; ++i) value |= (uint32_t)bytes[i] << (8u * i);
  return value;
}

void TillportStoreValue(uint8_t* out, uint32_t size, uint32_t value) {
  uint32_t i;
  for (i = 0; i < size; ++i) out[i] = (uint8_t)(value >> (8u * i));
}

static const TillportControlCodeInfo* FindCode(uint32_t code) {
  uint32_t i;
  for (i = 0; i < TILLPORT_CONTROL_CODE_COUNT; ++i) {
    if (TillportControlCodes[i].Code == code) return &TillportControlCodes[i];
  }
  return 0;
}

static void Refuse(TillportRequest* request, uint32_t status) {
  request->Status = status;
  request->Operation = TillportOperationNone;
}

void TillportCheckRequest(uint32_t code, const uint8_t* input, uint32_t inputLength,
                          uint32_t outputLength, const TillportRange* range,
                          TillportRequest* request) {
  const TillportControlCodeInfo* info = FindCode(code);
  uint64_t end;
  uint32_t size;

  request->Status = TILLPORT_STATUS_SUCCESS;
  request->Operation = TillportOperationNone;
  request->Size = 0;
  request->UsePorts = 0;
  request->PortNumber = 0;
  request->Value = 0;
  request->Address = 0;

  if (info == 0) {
#ifdef TILLPORT_SIM
    if (code == IOCTL_TILLPORTSIM_SET_DRAWER || code == IOCTL_TILLPORTSIM_READ_LOG ||
        code == IOCTL_TILLPORTSIM_CLEAR_LOG) {
      request->Operation = TillportOperationSimulated;
      return;
    }
#endif
    Refuse(request, TILLPORT_STATUS_NOT_IMPLEMENTED);
    return;
  }
  size = info->DataSize;

  /* Sizes first: nothing of the buffer is read before they are known. */
  if (info->IsWrite) {
    if (inputLength < 4u + size) {
      Refuse(request, TILLPORT_STATUS_INVALID_PARAMETER);
      return;
    }
  } else if (inputLength < 4u || outputLength < size) {
    Refuse(request, TILLPORT_STATUS_INVALID_PARAMETER);
    return;
  }

  request->PortNumber = LoadLittleEndian(input, 4);
  end = (uint64_t)request->PortNumber + size;
  if (request->PortNumber >= range->PortCount || end > range->PortCount) {
    Refuse(request, TILLPORT_STATUS_ACCESS_VIOLATION);
    return;
  }
  request->Address = range->PortBase + request->PortNumber;
  /* size is 1, 2 or 4, so the mask tests divisibility. */
  if ((request->Address & (uint64_t)(size - 1u)) != 0) {
    Refuse(request, TILLPORT_STATUS_ACCESS_VIOLATION);
    return;
  }

  request->Size = size;
  request->UsePorts = range->PortMemoryType == 1u ? 1u : 0u;
  if (info->IsWrite) {
    request->Operation = TillportOperationWrite;
    request->Value = LoadLittleEndian(input + 4, size);
  } else {
    request->Operation = TillportOperationRead;
  }
}

uint32_t TillportCheckCreate(uint32_t fileNameBytes) {
  return fileNameBytes == 0 ? TILLPORT_STATUS_SUCCESS : TILLPORT_STATUS_OBJECT_NAME_NOT_FOUND;
}

uint32_t TillportCheckConfiguredRange(uint32_t address, uint32_t count) {
  if (address > TILLPORT_LAST_PORT) return TILLPORT_STATUS_INVALID_PARAMETER;
  if ((uint64_t)address + count > (uint64_t)TILLPORT_LAST_PORT + 1u) {
    return TILLPORT_STATUS_INVALID_PARAMETER;
  }
  return TILLPORT_STATUS_SUCCESS;
}
