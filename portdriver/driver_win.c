/*
 * Tillport: a legacy kernel-mode driver that reads and writes a byte, word
 * or double word at an offset inside a short, configured range of ISA I/O
 * ports, for user-mode programs that open "\\.\Tillport".
 *
 * The checks of every request are in requestcheck.c; the hardware seams in
 * hardware_win.c (or, in the TillportSim test build, sim/simhardware_win.c).
 */
#include <ntddk.h>

#include "devicesecurity_win.h"
#include "hardware_win.h"
#include "requestcheck.h"
#include "tillport_ioctl.h"

/* Paged-pool tag "Ddk ". */
#define TILLPORT_POOL_TAG ((ULONG)'D' | (ULONG)'d' << 8 | (ULONG)'k' << 16 | (ULONG)' ' << 24)

#define TILLPORT_DEFAULT_ADDRESS 0x200u
#define TILLPORT_DEFAULT_COUNT 2u

/* The device extension, zeroed when the device is created. */
typedef struct PortDeviceInfo {
  ULONG DeviceType;
  BOOLEAN PortWasMapped;
  PVOID PortBase;
  ULONG PortCount;
  ULONG PortMemoryType;
  PDEVICE_OBJECT DeviceObject;
} PortDeviceInfo;

DRIVER_INITIALIZE DriverEntry;
static DRIVER_DISPATCH TillportDispatch;
static DRIVER_UNLOAD TillportUnload;

static NTSTATUS NTAPI StoreDword(PWSTR valueName, ULONG valueType, PVOID valueData,
                                 ULONG valueLength, PVOID context, PVOID entryContext)
/*
Routine Description:
    Query routine of one registry value: stores it only when it is a
    REG_DWORD of 4 bytes. A value of any other type keeps the default
    instead of being copied over the 4-byte variable.
Return Value:
    STATUS_SUCCESS (a value of the wrong type is passed over).
*/
{
  UNREFERENCED_PARAMETER(valueName);
  UNREFERENCED_PARAMETER(context);
  if (valueType == REG_DWORD && valueLength == sizeof(ULONG) && valueData != NULL) {
    *(PULONG)entryContext = *(const ULONG*)valueData;
  }
  return STATUS_SUCCESS;
}

static VOID QueryDword(PCWSTR path, PCWSTR name, PULONG value)
/*
Routine Description:
    Reads one optional REG_DWORD. Each value is queried on its own so that
    a missing one leaves only its own default in place.
*/
{
  RTL_QUERY_REGISTRY_TABLE table[2];
  ULONG found = *value;
  NTSTATUS status;

  RtlZeroMemory(table, sizeof(table));
  table[0].QueryRoutine = StoreDword;
  table[0].Name = (PWSTR)name;
  table[0].EntryContext = &found;
  table[0].DefaultType = REG_NONE;
  status = RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE | RTL_REGISTRY_OPTIONAL, path, table,
                                  NULL, NULL);
  if (NT_SUCCESS(status)) *value = found;
}

static VOID ReadParameters(PUNICODE_STRING registryPath, PULONG address, PULONG count, PULONG simMemorySpace)
/*
Routine Description:
    Reads "IoPortAddress" and "IoPortCount" from the "Parameters" subkey of
    the driver's service key. The defaults stay for whatever cannot be read.
Arguments:
    registryPath - the service key, as given to DriverEntry
    address, count - hold the defaults; receive the configured values
    simMemorySpace - the simulated build only: "SimMemorySpace", whether
        its bus answers the range in memory space
*/
{
  static const WCHAR suffix[] = L"\\Parameters";
  const ULONG pathChars = registryPath->Length / sizeof(WCHAR);
  const ULONG bytes = registryPath->Length + 24u; /* suffix and its NUL */
  PWCHAR path;
  ULONG i;

  path = (PWCHAR)ExAllocatePoolWithTag(PagedPool, bytes, TILLPORT_POOL_TAG);
  if (path == NULL) return;
  for (i = 0; i < pathChars; ++i) path[i] = registryPath->Buffer[i];
  for (i = 0; i < sizeof(suffix) / sizeof(WCHAR); ++i) path[pathChars + i] = suffix[i];

  QueryDword(path, L"IoPortAddress", address);
  QueryDword(path, L"IoPortCount", count);
#ifdef TILLPORT_SIM
  QueryDword(path, L"SimMemorySpace", simMemorySpace);
#else
  UNREFERENCED_PARAMETER(simMemorySpace);
#endif
  ExFreePool(path);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
/*
Routine Description:
    Reads the configuration, claims the port range, creates the device and
    its link, and translates the range's bus address.
Arguments:
    driver - this driver
    registryPath - the driver's service key
Return Value:
    STATUS_SUCCESS; STATUS_INVALID_PARAMETER for a range past port 0xFFFF;
    STATUS_DEVICE_CONFIGURATION_ERROR when the ports are held by another
    driver or cannot be reached; otherwise the status of the failing call.
*/
{
  ULONG address = TILLPORT_DEFAULT_ADDRESS;
  ULONG count = TILLPORT_DEFAULT_COUNT;
  BOOLEAN conflict = FALSE;
  PDEVICE_OBJECT device = NULL;
  PortDeviceInfo* info;
  UNICODE_STRING deviceName;
  UNICODE_STRING linkName;
  PHYSICAL_ADDRESS translated;
  ULONG addressSpace = 1;
  ULONG simMemorySpace = 0;
  NTSTATUS status;

  ReadParameters(registryPath, &address, &count, &simMemorySpace);
  /* The values come from the registry unchecked: never claim past 0xFFFF. */
  status = (NTSTATUS)TillportCheckConfiguredRange(address, count);
  if (!NT_SUCCESS(status)) return status;

#ifdef TILLPORT_SIM
  status = TillportSimStart(simMemorySpace != 0);
  if (!NT_SUCCESS(status)) return status;
#endif

  status = TillportClaimPorts(driver, address, count, &conflict);
  if (NT_SUCCESS(status) && conflict) status = STATUS_DEVICE_CONFIGURATION_ERROR;
  if (!NT_SUCCESS(status)) goto fail;

  driver->MajorFunction[IRP_MJ_CREATE] = TillportDispatch;
  driver->MajorFunction[IRP_MJ_CLOSE] = TillportDispatch;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = TillportDispatch;
  driver->DriverUnload = TillportUnload;

  RtlInitUnicodeString(&deviceName, TILLPORT_DEVICE_NAME_W);
  status = TillportCreateSecureDevice(driver, sizeof(PortDeviceInfo), &deviceName, TILLPORT_DEVICE_TYPE,
                                      &device);
  if (!NT_SUCCESS(status)) goto release;
  info = (PortDeviceInfo*)device->DeviceExtension;
  RtlZeroMemory(info, sizeof(*info));

  RtlInitUnicodeString(&linkName, TILLPORT_LINK_NAME_W);
  status = IoCreateSymbolicLink(&linkName, &deviceName);
  if (!NT_SUCCESS(status)) goto delete_device;

  /* A range the HAL cannot translate, or not map, cannot be served. */
  if (!TillportTranslateAddress(address, &addressSpace, &translated)) {
    status = STATUS_DEVICE_CONFIGURATION_ERROR;
    goto delete_link;
  }
  if (addressSpace == 0) {
    info->PortBase = TillportMapRegisters(translated, count);
    if (info->PortBase == NULL && count != 0) {
      status = STATUS_INSUFFICIENT_RESOURCES;
      goto delete_link;
    }
    info->PortWasMapped = info->PortBase != NULL;
  } else {
    info->PortBase = (PVOID)(ULONG_PTR)translated.QuadPart;
    info->PortWasMapped = FALSE;
  }

  info->DeviceType = TILLPORT_DEVICE_TYPE;
  info->PortCount = count;
  info->PortMemoryType = addressSpace;
  info->DeviceObject = device;
  return STATUS_SUCCESS;

delete_link:
  IoDeleteSymbolicLink(&linkName);
delete_device:
  IoDeleteDevice(device);
release:
  TillportReleasePorts(driver);
fail:
#ifdef TILLPORT_SIM
  TillportSimStop();
#endif
  return status;
}

static NTSTATUS DeviceControl(const PortDeviceInfo* info, PIRP irp, PIO_STACK_LOCATION stack,
                              PULONG_PTR information)
/*
Routine Description:
    Checks one device control request and, when it passes, performs its
    single port access.
Return Value:
    The status to complete the request with; *information the bytes returned.
*/
{
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  PUCHAR buffer = (PUCHAR)irp->AssociatedIrp.SystemBuffer;
  TillportRange range;
  TillportRequest request;

  range.PortBase = (ULONG_PTR)info->PortBase;
  range.PortCount = info->PortCount;
  range.PortMemoryType = info->PortMemoryType;
  TillportCheckRequest(code, buffer, inputLength, outputLength, &range, &request);

  switch (request.Operation) {
    case TillportOperationRead:
      TillportStoreValue(buffer, request.Size, TillportReadHardware(&request));
      *information = request.Size;
      return STATUS_SUCCESS;
    case TillportOperationWrite:
      TillportWriteHardware(&request);
      return STATUS_SUCCESS;
#ifdef TILLPORT_SIM
    case TillportOperationSimulated:
      return TillportSimRequest(code, buffer, inputLength, outputLength, information);
#endif
    default:
      return (NTSTATUS)request.Status;
  }
}

static NTSTATUS NTAPI TillportDispatch(PDEVICE_OBJECT device, PIRP irp)
/*
Routine Description:
    The one dispatch routine: create and close succeed, device control
    requests are checked and served. Every request completes at once.
*/
{
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const PortDeviceInfo* info = (const PortDeviceInfo*)device->DeviceExtension;
  ULONG_PTR information = 0;
  NTSTATUS status;

  switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
      /* The device has nothing below it: "\\.\Tillport\anything" is refused. */
      status = (NTSTATUS)TillportCheckCreate(stack->FileObject != NULL ? stack->FileObject->FileName.Length : 0);
      break;
    case IRP_MJ_CLOSE:
      status = STATUS_SUCCESS;
      break;
    case IRP_MJ_DEVICE_CONTROL:
      status = DeviceControl(info, irp, stack, &information);
      break;
    default:
      status = STATUS_NOT_IMPLEMENTED;
      break;
  }
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static VOID NTAPI TillportUnload(PDRIVER_OBJECT driver)
/*
Routine Description:
    Undoes the load: the mapping, the claim, the link and the device.
*/
{
  PDEVICE_OBJECT device = driver->DeviceObject;
  UNICODE_STRING linkName;

  if (device != NULL) {
    PortDeviceInfo* info = (PortDeviceInfo*)device->DeviceExtension;
    if (info->PortWasMapped) TillportUnmapRegisters(info->PortBase, info->PortCount);
  }
  TillportReleasePorts(driver);
  RtlInitUnicodeString(&linkName, TILLPORT_LINK_NAME_W);
  IoDeleteSymbolicLink(&linkName);
  if (device != NULL) IoDeleteDevice(device);
#ifdef TILLPORT_SIM
  TillportSimStop();
#endif
}
