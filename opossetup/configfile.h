// The kit's whole OPOS configuration as a small text file, for one shop's
// template copied to every till (kvoposcfg export / import). UTF-8, one
// section per device, one setting per line; a person can read and edit it:
//
//   # POS Peripheral Kit: OPOS configuration
//   [CashDrawer KvCash1]
//   CapStatus = True
//   CustomName = Front Till
//
//   [MSR KvMsr]
//   Port = COM12
//   Lrc = False
//   TraceLevel = 1
//   CustomName =
//
// A section names a device by its class key and device key. Its lines are
// the device's settings (settings.h) and "CustomName": the device's one
// custom device name, or nothing after '=' for none (an import then removes
// the device's custom names). A setting the file leaves out is left as the
// till has it. Blank lines and lines starting with '#' or ';' are ignored;
// blanks around names and values are not part of them. Portable, fuzzed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registration.h"
#include "settings.h"

namespace opos {

struct DeviceSection {
  DeviceId id = DeviceId::kMsr;
  int line = 0;                           // of the section's header
  std::vector<Assignment> settings;       // in the registry's spelling of the names
  std::vector<int> settingLines;          // the line of each setting
  std::optional<std::string> customName;  // "" removes
  int customNameLine = 0;
};

// Parses and checks the whole text: every section a device of the kit,
// named once; every line a setting of that device, named once, with a
// value the rules take (`keyboardWedge`: the MSR is a keyboard-wedge
// reader). False on the first wrong line, with `why` starting "line N: ".
bool ParseConfigFile(std::string_view text, bool keyboardWedge, std::vector<DeviceSection>& out, std::string& why);

// The text of the given sections, with a header comment.
std::string FormatConfigFile(const std::vector<DeviceSection>& sections);

}  // namespace opos
