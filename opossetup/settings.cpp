#include "settings.h"

#include <cstring>

#include "serialname.h"

namespace opos {

namespace {

// Characters of UTF-8 text (its bytes that start a character).
std::size_t Characters(std::string_view text) {
  std::size_t n = 0;
  for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace

bool SameAsciiName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<SettingInfo> SettingsOf(const DeviceInfo& device) {
  std::vector<SettingInfo> settings;
  if (device.hasPort) settings.push_back({"Port", SettingKind::kPort});
  if (device.switchValue) settings.push_back({device.switchValue, SettingKind::kSwitch});
  settings.push_back({"TraceLevel", SettingKind::kTraceLevel});
  return settings;
}

std::optional<SettingInfo> FindSetting(const DeviceInfo& device, std::string_view name) {
  for (const SettingInfo& setting : SettingsOf(device)) {
    if (SameAsciiName(name, setting.name)) return setting;
  }
  return std::nullopt;
}

bool CheckSetting(const DeviceInfo& device, const SettingInfo& setting, std::string_view value, bool keyboardWedge,
                  std::string& why) {
  const std::string quoted = std::string("\"").append(value) + "\"";
  switch (setting.kind) {
    case SettingKind::kPort:
      if (device.id == DeviceId::kMsr && keyboardWedge) {
        if (value == kKbdMsrSelected) return true;
        why = "unknown value " + quoted + " for Port; this reader is a keyboard-wedge reader, whose one port is \"" +
              kKbdMsrSelected + "\"";
        return false;
      }
      if (kit::ComPortNumber(value) != 0) return true;
      why = "unknown value " + quoted + " for Port; a serial port: COM1, COM2, ... (any number), or \\\\.\\COMn";
      return false;
    case SettingKind::kSwitch:
      if (value == "True" || value == "False") return true;
      why = "unknown value " + quoted + " for " + setting.name + "; one of True, False (exactly so)";
      return false;
    case SettingKind::kTraceLevel:
      if (value == "0" || value == "1" || value == "2") return true;
      why = "unknown value " + quoted + " for TraceLevel; one of 0 (off), 1 (calls and events), 2 (also the wire)";
      return false;
  }
  return false;
}

bool CheckCustomName(std::string_view name, std::string& why) {
  if (name.empty()) {
    why = "a custom device name cannot be empty";
    return false;
  }
  if (Characters(name) > kCustomNameLimit) {
    why = std::string("the custom device name \"").append(name) + "\" is longer than " + std::to_string(kCustomNameLimit) +
          " characters";
    return false;
  }
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      why = "a custom device name cannot hold control characters";
      return false;
    }
  }
  return true;
}

bool ParseAssignment(std::string_view text, Assignment& out, std::string& why) {
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) {
    why = std::string("\"").append(text) + "\" is not NAME=VALUE";
    return false;
  }
  out.name = TrimBlanks(text.substr(0, eq));
  out.value = TrimBlanks(text.substr(eq + 1));
  if (out.name.empty()) {
    why = std::string("\"").append(text) + "\" has no name before '='";
    return false;
  }
  return true;
}

std::optional<DeviceId> FindDevice(std::string_view classKey, std::string_view deviceKey) {
  for (const DeviceInfo& device : kDevices) {
    if (SameAsciiName(classKey, device.classKey) && SameAsciiName(deviceKey, device.deviceKey)) return device.id;
  }
  return std::nullopt;
}

}  // namespace opos
