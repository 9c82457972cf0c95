// Feeds arbitrary bytes to the parser of the OPOS configuration files that
// kvoposcfg imports (a template someone edited, copied to every till). It
// never crashes; what it takes, it takes whole and checked: every device
// once, every setting a valid value by the dialog's rules, and the text the
// sections are written back as parses to the same sections again; what it
// refuses, it refuses with the line's number and takes nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "configfile.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

bool Same(const std::vector<opos::DeviceSection>& a, const std::vector<opos::DeviceSection>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].id != b[i].id || a[i].customName != b[i].customName || a[i].settings.size() != b[i].settings.size()) {
      return false;
    }
    for (std::size_t k = 0; k < a[i].settings.size(); ++k) {
      if (a[i].settings[k].name != b[i].settings[k].name || a[i].settings[k].value != b[i].settings[k].value) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool wedge = size > 0 && (data[0] & 1);
  std::vector<opos::DeviceSection> sections;
  std::string why;
  if (!opos::ParseConfigFile(text, wedge, sections, why)) {
    Check(sections.empty());
    Check(why.rfind("line ", 0) == 0);
    return 0;
  }
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const opos::DeviceInfo& device = opos::Info(sections[i].id);
    for (std::size_t k = 0; k < i; ++k) Check(sections[k].id != sections[i].id);
    for (const opos::Assignment& s : sections[i].settings) {
      const auto setting = opos::FindSetting(device, s.name);
      Check(setting.has_value() && setting->name == s.name);
      std::string bad;
      Check(opos::CheckSetting(device, *setting, s.value, wedge, bad));
    }
    if (sections[i].customName && !sections[i].customName->empty()) {
      std::string bad;
      Check(opos::CheckCustomName(*sections[i].customName, bad));
    }
  }
  std::vector<opos::DeviceSection> again;
  Check(opos::ParseConfigFile(opos::FormatConfigFile(sections), wedge, again, why));
  Check(Same(sections, again));
  return 0;
}
