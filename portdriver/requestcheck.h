/*
 * Checking of Tillport's requests and of its configured port range.
 *
 * Plain portable C, no kernel headers: the driver calls it for every
 * request, and the native unit tests and the fuzz target call it directly.
 * Nothing here touches a port; the caller performs what the check allows.
 */
#ifndef TILLPORT_REQUESTCHECK_H
#define TILLPORT_REQUESTCHECK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The NT statuses the driver answers with. */
#define TILLPORT_STATUS_SUCCESS 0x00000000u
#define TILLPORT_STATUS_NOT_IMPLEMENTED 0xC0000002u
#define TILLPORT_STATUS_ACCESS_VIOLATION 0xC0000005u
#define TILLPORT_STATUS_INVALID_PARAMETER 0xC000000Du
#define TILLPORT_STATUS_OBJECT_NAME_NOT_FOUND 0xC0000034u

/* The highest port address of the I/O space. */
#define TILLPORT_LAST_PORT 0xFFFFu

/* What the load established: where the range is and how to reach it. */
typedef struct TillportRange {
  uint64_t PortBase;       /* translated address of the first port, or its mapping */
  uint32_t PortCount;      /* "IoPortCount" */
  uint32_t PortMemoryType; /* 1 I/O space (port instructions), 0 memory space (registers) */
} TillportRange;

typedef enum TillportOperation {
  TillportOperationNone = 0, /* refused: see Status */
  TillportOperationRead = 1,
  TillportOperationWrite = 2,
  TillportOperationSimulated = 3 /* a request of the simulated-hardware build only */
} TillportOperation;

/* The outcome of the check: what to do, and with which status to complete. */
typedef struct TillportRequest {
  uint32_t Status;     /* TILLPORT_STATUS_* */
  uint32_t Operation;  /* TillportOperation */
  uint32_t Size;       /* 1, 2 or 4 bytes */
  uint32_t UsePorts;   /* 1: READ_PORT_* / WRITE_PORT_*; 0: READ_REGISTER_* / WRITE_REGISTER_* */
  uint32_t PortNumber; /* offset from the first port */
  uint32_t Value;      /* the value to write, from byte 4 of the input */
  uint64_t Address;    /* PortBase + PortNumber */
} TillportRequest;

/*
 * Checks one device control request of METHOD_BUFFERED: `input` holds
 * `inputLength` bytes (it may be null when that is 0), `outputLength` is the
 * caller's output size. Fills `request`; when Status is not success the
 * request must be completed with that status and no port touched.
 */
void TillportCheckRequest(uint32_t code, const uint8_t* input, uint32_t inputLength,
                          uint32_t outputLength, const TillportRange* range,
                          TillportRequest* request);

/*
 * Checks the configured range before it is claimed: a range whose first
 * port or whose end lies past port 0xFFFF is refused with
 * STATUS_INVALID_PARAMETER. A count of 0 is allowed (every request then
 * fails its range check).
 */
uint32_t TillportCheckConfiguredRange(uint32_t address, uint32_t count);

/*
 * Checks an open of the device: the device itself (an empty file name after
 * the device's name) opens; any name below it is refused with
 * STATUS_OBJECT_NAME_NOT_FOUND, so no open gets round the device's check.
 */
uint32_t TillportCheckCreate(uint32_t fileNameBytes);

/* Stores the low `size` bytes of `value` little-endian at `out`. */
void TillportStoreValue(uint8_t* out, uint32_t size, uint32_t value);

#ifdef __cplusplus
}
#endif

#endif /* TILLPORT_REQUESTCHECK_H */
