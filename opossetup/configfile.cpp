#include "configfile.h"

namespace opos {

namespace {

constexpr const char* kCustomName = "CustomName";

// Whether text is UTF-8 as a person's editor writes it.
bool ValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

}  // namespace

bool ParseConfigFile(std::string_view text, bool keyboardWedge, std::vector<DeviceSection>& out, std::string& why) {
  out.clear();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte-order mark
  int number = 0;
  const auto fail = [&](const std::string& what) {
    why = "line " + std::to_string(number) + ": " + what;
    out.clear();
    return false;
  };
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!ValidUtf8(line)) return fail("not UTF-8 text");
    line = TrimBlanks(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;

    if (line.front() == '[') {
      if (line.back() != ']') return fail("a section is \"[CLASS DEVICE]\", such as \"[MSR KvMsr]\"");
      const std::string_view inside = TrimBlanks(line.substr(1, line.size() - 2));
      const std::size_t blank = inside.find_first_of(" \t");
      const auto id = blank == std::string_view::npos
                          ? std::nullopt
                          : FindDevice(inside.substr(0, blank), TrimBlanks(inside.substr(blank)));
      if (!id) {
        return fail(std::string("no device of the kit is \"").append(inside) +
                    "\"; one of CashDrawer KvCash1, CashDrawer KvCash2, LineDisplay KvDisplay, MSR KvMsr");
      }
      for (const DeviceSection& section : out) {
        if (section.id == *id) return fail("the device has a section already, at line " + std::to_string(section.line));
      }
      out.push_back(DeviceSection{*id, number, {}, {}, std::nullopt, 0});
      continue;
    }

    if (out.empty()) return fail("a setting before the first section");
    DeviceSection& section = out.back();
    const DeviceInfo& device = Info(section.id);
    Assignment assignment;
    std::string bad;
    if (!ParseAssignment(line, assignment, bad)) return fail(bad);
    if (SameAsciiName(assignment.name, kCustomName)) {
      if (section.customName) return fail("CustomName given twice for the device");
      if (!assignment.value.empty() && !CheckCustomName(assignment.value, bad)) return fail(bad);
      section.customName = assignment.value;
      section.customNameLine = number;
      continue;
    }
    const auto setting = FindSetting(device, assignment.name);
    if (!setting) {
      std::string names;
      for (const SettingInfo& s : SettingsOf(device)) names += std::string(s.name) + ", ";
      return fail("unknown setting \"" + assignment.name + "\" for " + device.classKey + " " + device.deviceKey +
                  "; one of " + names + kCustomName);
    }
    for (const Assignment& earlier : section.settings) {
      if (earlier.name == setting->name) return fail(std::string(setting->name) + " given twice for the device");
    }
    if (!CheckSetting(device, *setting, assignment.value, keyboardWedge, bad)) return fail(bad);
    section.settings.push_back({setting->name, assignment.value});
    section.settingLines.push_back(number);
  }
  return true;
}

std::string FormatConfigFile(const std::vector<DeviceSection>& sections) {
  std::string text =
      "# POS Peripheral Kit: OPOS configuration (kvoposcfg export; kvoposcfg import takes it).\n"
      "# One section per device, one setting per line. A setting left out is left as the till has it;\n"
      "# \"CustomName =\" with nothing after it removes the device's custom names.\n";
  for (const DeviceSection& section : sections) {
    const DeviceInfo& device = Info(section.id);
    text += std::string("\n[").append(device.classKey) + " " + device.deviceKey + "]\n";
    for (const Assignment& setting : section.settings) text += setting.name + " = " + setting.value + "\n";
    if (section.customName) text += std::string(kCustomName) + " = " + *section.customName + "\n";
  }
  return text;
}

}  // namespace opos
