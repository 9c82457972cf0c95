// The packages' custom actions for the OPOS settings given as properties
// on msiexec's command line (opossetup/installsettings.h), on the same
// registration layer as KvOposSetup and kvoposcfg:
//
//   CheckKitSettings  immediate, before anything is written: checks every
//                     property and the KVOPOS_CONFIG file; a bad one fails
//                     the install with a message in the installer's log
//                     (and on screen, where there is one), naming it.
//                     Hands what is to be written to ApplyKitSettings.
//   ApplyKitSettings  deferred, with the installer's rights, once the device
//                     keys are in place: writes them to both registry views.
//   ForgetKitNames    deferred, when the kit itself is uninstalled: removes
//                     the custom device names that stand for the kit's
//                     devices (other vendors' names stay), so that no name
//                     is left naming a device that is gone.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "fileio_win.h"
#include "installsettings.h"
#include "registrystore_win.h"
#include "text_win.h"

namespace {

std::string Property(MSIHANDLE install, const wchar_t* name) {
  DWORD size = 0;
  wchar_t empty[1] = {};
  if (MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) return {};
  std::wstring value(size + 1, L'\0');
  size = static_cast<DWORD>(value.size());
  if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return {};
  value.resize(size);
  return kit::ToUtf8(value);
}

// A message into the installer's log (and its error box, where shown).
void Report(MSIHANDLE install, INSTALLMESSAGE kind, const std::string& text) {
  MSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, kit::FromUtf8("POS Peripheral Kit: " + text).c_str());
  MsiProcessMessage(install, kind, record);
  MsiCloseHandle(record);
}

struct Views {
  opos::RegistryStore store;
  opos::RegistryStore other{opos::RegistryStore::kOtherView};
  opos::Registrations regs{store, opos::RegistryStore::OtherViewExists() ? &other : nullptr,
                           opos::RegistryStore::kOtherViewName};
  Views() { regs.Load(); }
  bool KeyboardWedge() const {
    const auto& ports = regs.View(opos::DeviceId::kMsr).ports;
    return ports.size() == 1 && ports[0] == opos::kKbdMsrSelected;
  }
};

// The configuration file's sections, checked; false with `why`.
bool ReadConfig(const std::string& path, bool wedge, std::vector<opos::DeviceSection>& sections, std::string& why) {
  if (path.empty()) return true;
  const auto text = kit::ReadWholeFile(kit::FromUtf8(path));
  std::string prefix(opos::kConfigProperty);
  prefix.append("=").append(path).append(": ");
  std::string problem = "the file cannot be read";
  if (text && opos::ParseConfigFile(*text, wedge, sections, problem)) return true;
  why = prefix.append(problem);
  return false;
}

}  // namespace

extern "C" UINT __stdcall CheckKitSettings(MSIHANDLE install) {
  try {
    opos::InstallValues given;
    for (const opos::InstallProperty& p : opos::kInstallProperties) {
      given[p.property] = Property(install, kit::FromUtf8(p.property).c_str());
    }
    given[opos::kConfigProperty] = Property(install, kit::FromUtf8(opos::kConfigProperty).c_str());
    Views views;
    std::string why;
    std::vector<opos::DeviceSection> sections;
    if (!opos::CheckInstallProperties(given, views.KeyboardWedge(), why) ||
        !ReadConfig(given[opos::kConfigProperty], views.KeyboardWedge(), sections, why)) {
      why.append("; nothing was installed.");
      Report(install, INSTALLMESSAGE_ERROR, why);
      return ERROR_INSTALL_FAILURE;
    }
    // A first install writes the defaults too; an upgrade or repair keeps
    // what the till has.
    const bool first = Property(install, L"Installed").empty() && Property(install, L"WIX_UPGRADE_DETECTED").empty();
    given["FIRST"] = std::string(first ? 1 : 0, '1');
    MsiSetPropertyW(install, L"ApplyKitSettings", kit::FromUtf8(opos::EncodeInstallValues(given)).c_str());
    return ERROR_SUCCESS;
  } catch (...) {
    return ERROR_INSTALL_FAILURE;
  }
}

extern "C" UINT __stdcall ApplyKitSettings(MSIHANDLE install) {
  try {
    opos::InstallValues given = opos::DecodeInstallValues(Property(install, L"CustomActionData"));
    Views views;
    std::vector<opos::DeviceSection> sections;
    std::string why;
    if (!ReadConfig(given[opos::kConfigProperty], views.KeyboardWedge(), sections, why)) {
      Report(install, INSTALLMESSAGE_ERROR, why);
      return ERROR_INSTALL_FAILURE;
    }
    const opos::Outcome outcome =
        opos::ApplyInstallSettings(views.regs, views.store, sections, given, given["FIRST"] == "1");
    if (!outcome.ok) {
      Report(install, INSTALLMESSAGE_ERROR, outcome.message);
      return ERROR_INSTALL_FAILURE;
    }
    Report(install, INSTALLMESSAGE_INFO, "the OPOS settings given were written");
    return ERROR_SUCCESS;
  } catch (...) {
    return ERROR_INSTALL_FAILURE;
  }
}

extern "C" UINT __stdcall ForgetKitNames(MSIHANDLE install) {
  try {
    Views views;
    for (const opos::DeviceInfo& device : opos::kDevices) {
      std::vector<std::string> names = opos::ReadDeviceState(views.store, device).customNames;
      if (opos::RegistryStore::OtherViewExists()) {
        for (const std::string& name : opos::ReadDeviceState(views.other, device).customNames) names.push_back(name);
      }
      for (const std::string& name : names) views.regs.RemoveCustomDeviceName(device.id, name);
    }
  } catch (...) {
  }
  (void)install;
  return ERROR_SUCCESS;  // what is left over is no reason to keep the kit
}
