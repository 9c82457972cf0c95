// The settings of the kit's OPOS devices by name, as the command line
// ("kvoposcfg set MSR KvMsr Port=COM12"), a configuration file and the
// packages' properties give them, each checked by the rules KvOposSetup's
// dialog applies: "Port" a serial port (or "Kbd Msr Selected" for a
// keyboard-wedge reader, the one entry the dialog then offers), "Lrc" and
// "CapStatus" exactly "True" or "False", "TraceLevel" 0 to 2. Portable.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registration.h"

namespace opos {

enum class SettingKind {
  kPort,        // REG_SZ: "COMn", "\\.\COMn", or "Kbd Msr Selected" for a keyboard-wedge MSR
  kSwitch,      // REG_SZ: exactly "True" or "False"
  kTraceLevel,  // REG_DWORD: 0, 1 or 2
};

struct SettingInfo {
  const char* name;  // the registry value's name
  SettingKind kind;
};

// The settings `device` has, in the order they are listed: Port (line
// display, MSR), its switch ("CapStatus" or "Lrc"), TraceLevel.
std::vector<SettingInfo> SettingsOf(const DeviceInfo& device);

// The setting of `device` that `name` names (without regard to case).
std::optional<SettingInfo> FindSetting(const DeviceInfo& device, std::string_view name);

// Whether `value` may be stored for `setting`; when not, `why` says so and
// names the valid values. `keyboardWedge`: the MSR's "Type" is not
// "Serial", so its one port entry is "Kbd Msr Selected".
bool CheckSetting(const DeviceInfo& device, const SettingInfo& setting, std::string_view value, bool keyboardWedge,
                  std::string& why);

// A custom device name as the dialog takes it: not empty, at most
// kCustomNameLimit characters, no control characters.
bool CheckCustomName(std::string_view name, std::string& why);

// "NAME=VALUE", split at its first '='; false with `why` for text without
// '=' or with an empty name.
struct Assignment {
  std::string name;
  std::string value;
};
bool ParseAssignment(std::string_view text, Assignment& out, std::string& why);

// Names compared as the registry compares the kit's ASCII names: without
// regard to case.
bool SameAsciiName(std::string_view a, std::string_view b);
// `text` without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view text);

// The device whose class key and device key these are (both without regard
// to case, as the registry compares key names).
std::optional<DeviceId> FindDevice(std::string_view classKey, std::string_view deviceKey);

}  // namespace opos
