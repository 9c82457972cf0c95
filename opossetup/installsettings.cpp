#include "installsettings.h"

#include "settings.h"

namespace opos {

const std::array<InstallProperty, 5> kInstallProperties = {{
    {"MSR_PORT", "Port", {DeviceId::kMsr}},
    {"MSR_LRC", "Lrc", {DeviceId::kMsr}},
    {"LINEDISPLAY_PORT", "Port", {DeviceId::kLineDisplay}},
    {"CASHDRAWER_CAPSTATUS", "CapStatus", {DeviceId::kCashDrawer1, DeviceId::kCashDrawer2}},
    {"TRACE_LEVEL", "TraceLevel",
     {DeviceId::kCashDrawer1, DeviceId::kCashDrawer2, DeviceId::kLineDisplay, DeviceId::kMsr}},
}};

namespace {

std::string Given(const InstallValues& values, const char* name) {
  const auto it = values.find(name);
  return it == values.end() ? std::string() : it->second;
}

// What a first install writes where the till holds nothing.
struct Default {
  DeviceId id;
  const char* setting;
  const char* value;
};
constexpr Default kDefaults[] = {{DeviceId::kCashDrawer1, "CapStatus", "True"},
                                 {DeviceId::kCashDrawer2, "CapStatus", "True"},
                                 {DeviceId::kMsr, "Lrc", "False"}};

}  // namespace

bool CheckInstallProperties(const InstallValues& given, bool keyboardWedge, std::string& why) {
  for (const InstallProperty& p : kInstallProperties) {
    const std::string value = Given(given, p.property);
    if (value.empty()) continue;
    const DeviceInfo& device = Info(p.devices.front());
    std::string bad;
    if (!CheckSetting(device, *FindSetting(device, p.setting), value, keyboardWedge, bad)) {
      why = std::string(p.property);
      why.append("=").append(value).append(" is refused: ").append(bad);
      return false;
    }
  }
  return true;
}

Outcome ApplyInstallSettings(Registrations& regs, KeyStore& store, const std::vector<DeviceSection>& sections,
                             const InstallValues& given, bool firstInstall) {
  Outcome outcome;
  const auto write = [&](DeviceId id, const std::string& name, const std::string& value) {
    if (outcome.ok) outcome = regs.WriteSetting(id, name, value, name == "TraceLevel");
  };
  for (const DeviceSection& section : sections) {
    for (const Assignment& s : section.settings) write(section.id, s.name, s.value);
    if (!section.customName || !outcome.ok) continue;
    if (section.customName->empty()) {
      for (const std::string& name : ReadDeviceState(store, Info(section.id)).customNames) {
        if (outcome.ok) outcome = regs.RemoveCustomDeviceName(section.id, name);
      }
    } else {
      outcome = regs.AddCustomDeviceName(section.id, *section.customName);
    }
  }
  for (const InstallProperty& p : kInstallProperties) {
    const std::string value = Given(given, p.property);
    if (value.empty()) continue;
    for (const DeviceId id : p.devices) write(id, p.setting, value);
  }
  if (!firstInstall) return outcome;
  for (const Default& d : kDefaults) {
    bool held = false;
    for (const auto& [name, value] : ReadDeviceState(store, Info(d.id)).values) held = held || name == d.setting;
    if (!held && regs.View(d.id).registered) write(d.id, d.setting, d.value);
  }
  return outcome;
}

std::string EncodeInstallValues(const InstallValues& values) {
  std::string text;
  for (const auto& [name, value] : values) text += name + "=" + value + "\n";
  return text;
}

InstallValues DecodeInstallValues(const std::string& text) {
  InstallValues values;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    start = end + 1;
  }
  return values;
}

}  // namespace opos
