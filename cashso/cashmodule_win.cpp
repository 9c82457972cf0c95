// The module description of KvCash1So or KvCash2So (KV_CASH_DRAWER): its one
// class, its type library and its registration.
#include <initguid.h>

#include "cashdrawer_win.h"
#include "module_win.h"

namespace cash {

// {11183FCB-8A9A-4C11-8147-CC88B21CF62D}: CKvCash1
DEFINE_GUID(CLSID_CKvCash1, 0x11183fcb, 0x8a9a, 0x4c11, 0x81, 0x47, 0xcc, 0x88, 0xb2, 0x1c, 0xf6, 0x2d);
// {5ADE868F-AD2E-4F2A-AD64-C1B77E53A72E}: CKvCash2
DEFINE_GUID(CLSID_CKvCash2, 0x5ade868f, 0xad2e, 0x4f2a, 0xad, 0x64, 0xc1, 0xb7, 0x7e, 0x53, 0xa7, 0x2e);
// {03EE9E9F-199A-4CFD-8907-9A638E68B7B1}: KvCash1So.idl's library
DEFINE_GUID(LIBID_KvCash1So, 0x03ee9e9f, 0x199a, 0x4cfd, 0x89, 0x07, 0x9a, 0x63, 0x8e, 0x68, 0xb7, 0xb1);
// {B9CE9BA5-A516-4B8A-B3AB-6C8398E92528}: KvCash2So.idl's library
DEFINE_GUID(LIBID_KvCash2So, 0xb9ce9ba5, 0xa516, 0x4b8a, 0xb3, 0xab, 0x6c, 0x83, 0x98, 0xe9, 0x25, 0x28);

namespace {

#if KV_CASH_DRAWER == 1
const oposso::ClassEntry kClasses[] = {{&CLSID_CKvCash1, &CashDrawer::Create}};
const GUID& kLibid = LIBID_KvCash1So;
constexpr char kDescription[] = "CKvCash1 Class";
#else
const oposso::ClassEntry kClasses[] = {{&CLSID_CKvCash2, &CashDrawer::Create}};
const GUID& kLibid = LIBID_KvCash2So;
constexpr char kDescription[] = "CKvCash2 Class";
#endif

}  // namespace

}  // namespace cash

namespace oposso {
const ModuleDescription kModule = {cash::kThisDrawer.progId, cash::kDescription, &cash::kLibid, cash::kClasses,
                                   true};
}  // namespace oposso
