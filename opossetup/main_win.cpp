// KvOposSetup: shows the kit's OPOS devices, writes their registry settings
// and tests each one through its OPOS control object.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "dialogs_win.h"
#include "registrystore_win.h"
#include "resource.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  // The control objects are apartment-threaded and fire their events on
  // this thread.
  const HRESULT com = OleInitialize(nullptr);

  // On 64-bit Windows the OPOS tree of 32-bit applications is kept in step
  // with the program's own.
  opos::RegistryStore store;
  opos::RegistryStore other(opos::RegistryStore::kOtherView);
  const bool twoViews = opos::RegistryStore::OtherViewExists();
  opos::Registrations registrations(store, twoViews ? &other : nullptr,
                                    twoViews ? opos::RegistryStore::kOtherViewName : "");
  opos::Session session;
  session.instance = instance;
  session.registrations = &registrations;
  session.icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_KVOPOSSETUP));
  session.smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_KVOPOSSETUP), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), 0));
  opos::RunMainDialog(session);

  if (session.smallIcon) DestroyIcon(session.smallIcon);
  if (SUCCEEDED(com)) OleUninitialize();
  return 0;
}
