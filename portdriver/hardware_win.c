/*
 * The hardware seams of the shipping Tillport.sys: the system's resource
 * report, the HAL's bus translation, and the port and register accesses.
 */
#include "hardware_win.h"

NTSTATUS TillportClaimPorts(PDRIVER_OBJECT driver, ULONG address, ULONG count, PBOOLEAN conflict)
/*
Routine Description:
    Reports one ISA bus 0 I/O port range, held exclusively by this driver.
Arguments:
    driver - the driver the claim is reported for
    address, count - first port and number of ports
    conflict - receives TRUE when another driver holds the range
Return Value:
    The status of the report.
*/
{
  CM_RESOURCE_LIST list;
  PCM_PARTIAL_RESOURCE_DESCRIPTOR port;
  UNICODE_STRING className;

  RtlZeroMemory(&list, sizeof(list));
  list.Count = 1;
  list.List[0].InterfaceType = Isa;
  list.List[0].BusNumber = 0;
  list.List[0].PartialResourceList.Version = 0;
  list.List[0].PartialResourceList.Revision = 0;
  list.List[0].PartialResourceList.Count = 1;
  port = &list.List[0].PartialResourceList.PartialDescriptors[0];
  port->Type = CmResourceTypePort;
  port->ShareDisposition = CmResourceShareDriverExclusive;
  port->Flags = CM_RESOURCE_PORT_IO;
  port->u.Port.Start.LowPart = address;
  port->u.Port.Start.HighPart = 0;
  port->u.Port.Length = count;

  RtlInitUnicodeString(&className, L"LOADED TILLPORT DRIVER RESOURCES");
  *conflict = FALSE;
  return IoReportResourceUsage(&className, driver, &list, sizeof(list), NULL, NULL, 0, FALSE,
                               conflict);
}

VOID TillportReleasePorts(PDRIVER_OBJECT driver) {
  CM_RESOURCE_LIST empty;
  UNICODE_STRING className;
  BOOLEAN conflict = FALSE;

  RtlZeroMemory(&empty, sizeof(empty));
  RtlInitUnicodeString(&className, L"LOADED TILLPORT DRIVER RESOURCES");
  /* Only the Count field, 0: the system drops the driver's claim. */
  IoReportResourceUsage(&className, driver, &empty, sizeof(ULONG), NULL, NULL, 0, FALSE,
                        &conflict);
}

BOOLEAN TillportTranslateAddress(ULONG address, PULONG addressSpace, PPHYSICAL_ADDRESS translated) {
  PHYSICAL_ADDRESS bus;
  bus.LowPart = address;
  bus.HighPart = 0;
  return HalTranslateBusAddress(Isa, 0, bus, addressSpace, translated);
}

PVOID TillportMapRegisters(PHYSICAL_ADDRESS translated, ULONG count) {
  return MmMapIoSpace(translated, count, MmNonCached);
}

VOID TillportUnmapRegisters(PVOID base, ULONG count) { MmUnmapIoSpace(base, count); }

ULONG TillportReadHardware(const TillportRequest* request) {
  const ULONG_PTR at = (ULONG_PTR)request->Address;
  if (request->UsePorts) {
    switch (request->Size) {
      case 1: return READ_PORT_UCHAR((PUCHAR)at);
      case 2: return READ_PORT_USHORT((PUSHORT)at);
      default: return READ_PORT_ULONG((PULONG)at);
    }
  }
  switch (request->Size) {
    case 1: return READ_REGISTER_UCHAR((PUCHAR)at);
    case 2: return READ_REGISTER_USHORT((PUSHORT)at);
    default: return READ_REGISTER_ULONG((PULONG)at);
  }
}

VOID TillportWriteHardware(const TillportRequest* request) {
  const ULONG_PTR at = (ULONG_PTR)request->Address;
  const ULONG value = request->Value;
  if (request->UsePorts) {
    switch (request->Size) {
      case 1: WRITE_PORT_UCHAR((PUCHAR)at, (UCHAR)value); break;
      case 2: WRITE_PORT_USHORT((PUSHORT)at, (USHORT)value); break;
      default: WRITE_PORT_ULONG((PULONG)at, value); break;
    }
    return;
  }
  switch (request->Size) {
    case 1: WRITE_REGISTER_UCHAR((PUCHAR)at, (UCHAR)value); break;
    case 2: WRITE_REGISTER_USHORT((PUSHORT)at, (USHORT)value); break;
    default: WRITE_REGISTER_ULONG((PULONG)at, value); break;
  }
}
