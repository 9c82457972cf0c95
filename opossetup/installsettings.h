// The OPOS settings the kit's packages take as public properties on
// msiexec's command line, so that a management system sets a till up in
// one line:
//
//   msiexec /i PosKit-<version>-x64.msi /qn MSR_PORT=COM12 MSR_LRC=True
//           CASHDRAWER_CAPSTATUS=False TRACE_LEVEL=1 KVOPOS_CONFIG=C:\shop.cfg
//
// Each property is checked by the rules of the setting it stands for (a bad
// one fails the install before anything is written); a property given is
// written to both registry views; one not given leaves what the till has,
// and only a first install writes the defaults (drawer status reporting on,
// the card reader's LRC off). KVOPOS_CONFIG imports a file as kvoposcfg
// import does, before the properties, which win over it. Portable.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "configfile.h"
#include "registration.h"

namespace opos {

struct InstallProperty {
  const char* property;
  const char* setting;               // the registry value it sets
  std::vector<DeviceId> devices;     // of every device named here
};
extern const std::array<InstallProperty, 5> kInstallProperties;
inline constexpr const char* kConfigProperty = "KVOPOS_CONFIG";

// The properties as given (absent or "" is not given).
using InstallValues = std::map<std::string, std::string>;

// Whether every property given is good; `keyboardWedge` as settings.h.
// `why` names the property, its value and the valid ones.
bool CheckInstallProperties(const InstallValues& given, bool keyboardWedge, std::string& why);

// Writes the file's sections, then the properties given, then (on a first
// install) the defaults of what neither gave and the till does not hold,
// to every registry view `regs` keeps. Stops at the first failure.
Outcome ApplyInstallSettings(Registrations& regs, KeyStore& store, const std::vector<DeviceSection>& sections,
                             const InstallValues& given, bool firstInstall);

// The properties as one text and back (the deferred custom action's data):
// "NAME=VALUE" lines.
std::string EncodeInstallValues(const InstallValues& values);
InstallValues DecodeInstallValues(const std::string& text);

}  // namespace opos
