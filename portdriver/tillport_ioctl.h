/*
 * Tillport: the device, its I/O control codes and their request buffers.
 *
 * Shared by the driver, by the user-mode programs that open "\\.\Tillport"
 * and by the tests. Plain C with fixed-size types only: it needs neither
 * <windows.h> nor the kernel headers, so it compiles everywhere.
 *
 * All buffers are little-endian and travel METHOD_BUFFERED.
 *   read  input:  PortNumber (4 bytes); output: the value, 1, 2 or 4 bytes
 *   write input:  PortNumber (4 bytes), then the value (1, 2 or 4 bytes)
 * PortNumber is the offset of the port from the first port of the range the
 * driver claimed ("IoPortAddress" in the service's "Parameters" key).
 */
#ifndef TILLPORT_IOCTL_H
#define TILLPORT_IOCTL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * A 32-bit program talks to the 64-bit driver with nothing in between that
 * would convert its buffers, so every buffer is fixed-width fields only and
 * each tree that compiles this header checks the layout at compile time.
 */
#ifdef __cplusplus
#define TILLPORT_LAYOUT(condition) static_assert(condition, #condition)
#else
#define TILLPORT_LAYOUT(condition) _Static_assert(condition, #condition)
#endif

#define TILLPORT_DEVICE_TYPE 40000u /* 0x9C40 */

/* The user-mode name of the device and its kernel names. */
#define TILLPORT_USER_PATH_A "\\\\.\\Tillport"
#define TILLPORT_USER_PATH_W L"\\\\.\\Tillport"
#define TILLPORT_DEVICE_NAME_W L"\\Device\\Tillport0"
#define TILLPORT_LINK_NAME_W L"\\DosDevices\\Tillport"

/* The parts of a control code, as the system composes them. */
#define TILLPORT_METHOD_BUFFERED 0u
#define TILLPORT_FILE_ANY_ACCESS 0u
#define TILLPORT_FILE_READ_ACCESS 1u
#define TILLPORT_FILE_WRITE_ACCESS 2u
#define TILLPORT_CTL_CODE(function, access)                                       \
  ((uint32_t)(((uint32_t)TILLPORT_DEVICE_TYPE << 16) | ((uint32_t)(access) << 14) | \
              ((uint32_t)(function) << 2) | TILLPORT_METHOD_BUFFERED))

#define IOCTL_READ_PORT_UCHAR TILLPORT_CTL_CODE(0x900, TILLPORT_FILE_READ_ACCESS)    /* 0x9C406400 */
#define IOCTL_READ_PORT_USHORT TILLPORT_CTL_CODE(0x901, TILLPORT_FILE_READ_ACCESS)   /* 0x9C406404 */
#define IOCTL_READ_PORT_ULONG TILLPORT_CTL_CODE(0x902, TILLPORT_FILE_READ_ACCESS)    /* 0x9C406408 */
#define IOCTL_WRITE_PORT_UCHAR TILLPORT_CTL_CODE(0x910, TILLPORT_FILE_WRITE_ACCESS)  /* 0x9C40A440 */
#define IOCTL_WRITE_PORT_USHORT TILLPORT_CTL_CODE(0x911, TILLPORT_FILE_WRITE_ACCESS) /* 0x9C40A444 */
#define IOCTL_WRITE_PORT_ULONG TILLPORT_CTL_CODE(0x912, TILLPORT_FILE_WRITE_ACCESS)  /* 0x9C40A448 */

/* Read request input. */
typedef struct TillportReadInput {
  uint32_t PortNumber;
} TillportReadInput;

/* Write request input; only the first 4 + data size bytes are needed. */
typedef struct TillportWriteInput {
  uint32_t PortNumber;
  union {
    uint8_t CharData;
    uint16_t ShortData;
    uint32_t LongData;
  } Value;
} TillportWriteInput;

TILLPORT_LAYOUT(sizeof(TillportReadInput) == 4);
TILLPORT_LAYOUT(offsetof(TillportReadInput, PortNumber) == 0);
TILLPORT_LAYOUT(sizeof(TillportWriteInput) == 8);
TILLPORT_LAYOUT(offsetof(TillportWriteInput, PortNumber) == 0);
TILLPORT_LAYOUT(offsetof(TillportWriteInput, Value) == 4);
TILLPORT_LAYOUT(offsetof(TillportWriteInput, Value.CharData) == 4);
TILLPORT_LAYOUT(offsetof(TillportWriteInput, Value.ShortData) == 4);
TILLPORT_LAYOUT(offsetof(TillportWriteInput, Value.LongData) == 4);

/* One row of the control code table. */
typedef struct TillportControlCodeInfo {
  uint32_t Code;
  const char* Name;
  uint32_t Access;   /* TILLPORT_FILE_READ_ACCESS or TILLPORT_FILE_WRITE_ACCESS */
  uint32_t Function; /* 0x900.. */
  uint32_t DataSize; /* 1, 2 or 4 */
  uint32_t IsWrite;  /* 0 read, 1 write */
} TillportControlCodeInfo;

#define TILLPORT_CONTROL_CODE_COUNT 6

#if defined(__GNUC__)
#define TILLPORT_MAYBE_UNUSED __attribute__((unused))
#else
#define TILLPORT_MAYBE_UNUSED
#endif

/* The six requests the driver answers, in code order. */
static const TillportControlCodeInfo TillportControlCodes[TILLPORT_CONTROL_CODE_COUNT]
    TILLPORT_MAYBE_UNUSED = {
        {IOCTL_READ_PORT_UCHAR, "IOCTL_READ_PORT_UCHAR", TILLPORT_FILE_READ_ACCESS, 0x900, 1, 0},
        {IOCTL_READ_PORT_USHORT, "IOCTL_READ_PORT_USHORT", TILLPORT_FILE_READ_ACCESS, 0x901, 2, 0},
        {IOCTL_READ_PORT_ULONG, "IOCTL_READ_PORT_ULONG", TILLPORT_FILE_READ_ACCESS, 0x902, 4, 0},
        {IOCTL_WRITE_PORT_UCHAR, "IOCTL_WRITE_PORT_UCHAR", TILLPORT_FILE_WRITE_ACCESS, 0x910, 1, 1},
        {IOCTL_WRITE_PORT_USHORT, "IOCTL_WRITE_PORT_USHORT", TILLPORT_FILE_WRITE_ACCESS, 0x911, 2, 1},
        {IOCTL_WRITE_PORT_ULONG, "IOCTL_WRITE_PORT_ULONG", TILLPORT_FILE_WRITE_ACCESS, 0x912, 4, 1},
};

#ifdef __cplusplus
}
#endif

#endif /* TILLPORT_IOCTL_H */
