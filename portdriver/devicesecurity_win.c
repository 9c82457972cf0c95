/*
 * Tillport's device object with an explicit security descriptor:
 *
 *   D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;IU)
 *
 * SYSTEM and Administrators have full access; interactive users, who run
 * POS applications as standard users, may read and write ports through it
 * (the drawers' requests). Nobody else may open it. FILE_DEVICE_SECURE_OPEN
 * makes the same check apply to any name below the device, and the
 * dispatch routine refuses such names anyway.
 *
 * This is what IoCreateDeviceSecure does from its SDDL string; that routine
 * lives in a static library of Microsoft's driver kit, not in the kernel's
 * exports, so the descriptor is built here from the same three entries.
 */
#include <ntifs.h>

#include "devicesecurity_win.h"

/* A SID with room for two sub-authorities, laid out as the system's SID. */
typedef struct TillportSid {
  UCHAR Revision;
  UCHAR SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  ULONG SubAuthority[2];
} TillportSid;

static const TillportSid kLocalSystem = {SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {SECURITY_LOCAL_SYSTEM_RID, 0}};
static const TillportSid kAdministrators = {
    SID_REVISION, 2, {SECURITY_NT_AUTHORITY}, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
static const TillportSid kInteractive = {SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {SECURITY_INTERACTIVE_RID, 0}};

/* The ACL: its header and three ACEs, each a header, a mask and its SID. */
#define TILLPORT_ACL_BYTES \
  (sizeof(ACL) + 3u * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(ULONG) + sizeof(TillportSid)))

static NTSTATUS ProtectDevice(PDEVICE_OBJECT device)
/*
Routine Description:
    Replaces the device object's discretionary ACL with the kit's three
    entries.
Return Value:
    STATUS_SUCCESS, or the status of the failing call.
*/
{
  ULONG aclBuffer[(TILLPORT_ACL_BYTES + sizeof(ULONG) - 1u) / sizeof(ULONG)];
  PACL acl = (PACL)aclBuffer;
  SECURITY_DESCRIPTOR descriptor;
  HANDLE handle = NULL;
  NTSTATUS status;

  status = RtlCreateAcl(acl, sizeof(aclBuffer), ACL_REVISION);
  if (NT_SUCCESS(status)) status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, (PSID)&kLocalSystem);
  if (NT_SUCCESS(status)) status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, (PSID)&kAdministrators);
  if (NT_SUCCESS(status)) {
    status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ | FILE_GENERIC_WRITE,
                                    (PSID)&kInteractive);
  }
  if (NT_SUCCESS(status)) status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  if (NT_SUCCESS(status)) status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, acl, FALSE);
  if (NT_SUCCESS(status)) {
    status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, NULL, WRITE_DAC, NULL, KernelMode, &handle);
  }
  if (NT_SUCCESS(status)) {
    status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
    ZwClose(handle);
  }
  return status;
}

NTSTATUS TillportCreateSecureDevice(PDRIVER_OBJECT driver, ULONG extensionSize, PUNICODE_STRING name,
                                    ULONG type, PDEVICE_OBJECT* device)
{
  NTSTATUS status = IoCreateDevice(driver, extensionSize, name, type, FILE_DEVICE_SECURE_OPEN, FALSE, device);
  if (!NT_SUCCESS(status)) return status;
  status = ProtectDevice(*device);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(*device);
    *device = NULL;
  }
  return status;
}
