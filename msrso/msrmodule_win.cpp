// KvSMsrSo's module description: its one class and its registration.
#include <initguid.h>

#include "module_win.h"
#include "msr_win.h"

namespace msrso {

// {D72A9F0C-A1B5-4E1B-BD18-52F167A9F6BC}
DEFINE_GUID(CLSID_CMSR, 0xd72a9f0c, 0xa1b5, 0x4e1b, 0xbd, 0x18, 0x52, 0xf1, 0x67, 0xa9, 0xf6, 0xbc);
// {394F9E01-0B4D-4D66-8B01-6D5AB14535BC}: KvSMsrSo.idl's library
DEFINE_GUID(LIBID_KvSMsrSo, 0x394f9e01, 0x0b4d, 0x4d66, 0x8b, 0x01, 0x6d, 0x5a, 0xb1, 0x45, 0x35, 0xbc);

namespace {
const oposso::ClassEntry kClasses[] = {{&CLSID_CMSR, &CMSR::Create}};
}  // namespace

}  // namespace msrso

namespace oposso {
const ModuleDescription kModule = {"KvSO.KvMsr", "CMSR Class", &msrso::LIBID_KvSMsrSo, msrso::kClasses};
}  // namespace oposso
