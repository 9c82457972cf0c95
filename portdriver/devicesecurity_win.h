/*
 * Creating Tillport's device object with its security descriptor; see
 * devicesecurity_win.c for who may open it.
 */
#ifndef TILLPORT_DEVICESECURITY_WIN_H
#define TILLPORT_DEVICESECURITY_WIN_H

#include <ntddk.h>

/*
 * IoCreateDevice (not exclusive, FILE_DEVICE_SECURE_OPEN) followed by the
 * kit's access rules. On failure nothing is left behind and *device is NULL.
 */
NTSTATUS TillportCreateSecureDevice(PDRIVER_OBJECT driver, ULONG extensionSize, PUNICODE_STRING name,
                                    ULONG type, PDEVICE_OBJECT* device);

#endif /* TILLPORT_DEVICESECURITY_WIN_H */
