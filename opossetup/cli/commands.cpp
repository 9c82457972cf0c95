#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "configfile.h"
#include "settings.h"

namespace opos::cli {

namespace {

enum Flag : unsigned {
  kJson = 1u << 0,
  kDryRun = 1u << 1,
  kSwipe = 1u << 2,
  kTimeout = 1u << 3,
};

struct Command {
  const char* name;
  const char* usage;
  const char* summary;
  unsigned flags;
  const char* details;
};

const Command kCommands[] = {
    {"list", "list [--json]", "show the kit's OPOS devices and their settings", kJson,
     "Shows the four devices KvOposSetup manages (both cash drawers, the line\n"
     "display, the card reader): whether each is registered, its ProgID, its\n"
     "settings and its custom device names. On 64-bit Windows both registry\n"
     "views are read (64-bit and 32-bit POS applications each see one); a line\n"
     "marked '*' differs between them, the other view's value beside it.\n"
     "--json prints the same as a JSON document, both views in full.\n"},
    {"set", "set CLASS DEVICE NAME=VALUE...", "write settings of one device", 0,
     "CLASS DEVICE names the device: CashDrawer KvCash1, CashDrawer KvCash2,\n"
     "LineDisplay KvDisplay or MSR KvMsr. The settings, checked as KvOposSetup\n"
     "checks them:\n"
     "  Port        line display, card reader: COMn (any number) or \\\\.\\COMn;\n"
     "              a keyboard-wedge card reader: \"Kbd Msr Selected\"\n"
     "  Lrc         card reader: True or False (append the LRC character)\n"
     "  CapStatus   cash drawers: True or False (status reporting)\n"
     "  TraceLevel  every device: 0 off, 1 calls and events, 2 also the wire\n"
     "An unknown name or an invalid value is refused, naming the valid ones,\n"
     "and then nothing is written. Every setting goes to both registry views.\n"
     "Needs administrator rights.\n"},
    {"alias", "alias add|remove CLASS DEVICE NAME", "add or remove a custom device name", 0,
     "'alias add' makes NAME the device's one custom device name (at most 20\n"
     "characters), refused when another device, of the kit or another vendor,\n"
     "holds it; names are compared as the registry compares them (any letter\n"
     "case). 'alias remove' removes the device's custom name NAME. Both\n"
     "registry views; needs administrator rights.\n"},
    {"export", "export FILE", "write the kit's OPOS configuration to a file", 0,
     "Writes the settings and custom names of every registered device as a\n"
     "small UTF-8 text file that a person can read and edit: one shop's\n"
     "template, for 'import' on every till.\n"},
    {"import", "import FILE [--dry-run]", "apply a configuration file", kDryRun,
     "Checks the whole file first (every line, every value, every custom name)\n"
     "and writes nothing if any line is wrong, naming its line; then writes\n"
     "every setting it holds to both registry views. Settings the file leaves\n"
     "out stay as they are. --dry-run checks and tells what would be written.\n"
     "Needs administrator rights.\n"},
    {"check", "check [DEVICE...] [--json] [--swipe SECONDS] [--timeout SECONDS]",
     "check that the devices work, through their service objects", kJson | kSwipe | kTimeout,
     "Drives each device's service object as a POS application's control\n"
     "object does: creates it by the ProgID its key names, OpenService,\n"
     "Claim, DeviceEnabled, CheckHealth (106, no check at that level, is no\n"
     "failure; drawers: DrawerOpened too), then Release and Close. DEVICE is\n"
     "KvCash1, KvCash2, KvDisplay or KvMsr; all four when none is given. The\n"
     "line display's service object is another\n"
     "vendor's: when it is not installed that is said, and is no failure.\n"
     "--swipe SECONDS: the card reader waits that long for one card and shows\n"
     "only its masked account number. --timeout SECONDS (default 10): a\n"
     "device that takes longer fails; the check never hangs. One line per\n"
     "device; --json prints a JSON document instead.\n"
     "Exit status: 0 every device healthy, 1 one or more failed, 2 wrong\n"
     "usage or trouble.\n"},
    {"help", "help [COMMAND]", "show this help or a command's", 0, ""},
};

constexpr const char* kExitHelp =
    "Exit status: 0 success, 1 a write, a file or a device failed (writing\n"
    "needs administrator rights), 2 wrong usage or an invalid value.\n";

const Command* FindCommand(std::string_view name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

void PrintUsage(kit::TextOut& out) {
  out << "usage: kvoposcfg COMMAND [ARGS]\n\n"
         "The POS Peripheral Kit's OPOS settings and a check of its devices.\n\nCommands:\n";
  for (const Command& c : kCommands) {
    out << "  " << c.name << std::string(9 - std::string_view(c.name).size(), ' ') << c.summary << "\n";
  }
  out << "\n'kvoposcfg help COMMAND' or 'kvoposcfg COMMAND --help' tells more.\n" << kExitHelp;
}

void PrintCommandHelp(const Command& c, kit::TextOut& out) {
  out << "usage: kvoposcfg " << c.usage << "\n\n" << c.summary << ".\n\n" << c.details;
  if (std::string_view(c.name) != "check") out << "\n" << kExitHelp;
}

struct Arguments {
  std::vector<std::string> positional;
  bool json = false, dryRun = false, help = false;
  int swipeSeconds = 0, timeoutSeconds = 10;
};

// Whole seconds from 1 to 3600.
bool Seconds(const std::string& text, int& out) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  out = std::atoi(text.c_str());
  return out >= 1 && out <= 3600;
}

bool Parse(const Command& c, const std::vector<std::string>& args, Arguments& a, std::string& why) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](int& out, const char* name) {
      if (i + 1 >= args.size() || !Seconds(args[i + 1], out)) {
        why = std::string(name) + " needs a number of seconds from 1 to 3600";
        return false;
      }
      ++i;
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      a.help = true;
    } else if (arg == "--json" && (c.flags & kJson)) {
      a.json = true;
    } else if (arg == "--dry-run" && (c.flags & kDryRun)) {
      a.dryRun = true;
    } else if (arg == "--swipe" && (c.flags & kSwipe)) {
      if (!value(a.swipeSeconds, "--swipe")) return false;
    } else if (arg == "--timeout" && (c.flags & kTimeout)) {
      if (!value(a.timeoutSeconds, "--timeout")) return false;
    } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      why = "unknown option " + arg + " for " + c.name;
      return false;
    } else {
      a.positional.push_back(arg);
    }
  }
  return true;
}

std::string DeviceTitle(const DeviceInfo& device) { return std::string(device.classKey) + " " + device.deviceKey; }

const char* const kDeviceChoices = "CashDrawer KvCash1, CashDrawer KvCash2, LineDisplay KvDisplay, MSR KvMsr";

class Runner {
 public:
  Runner(Environment& env, const Arguments& a) : env_(env), a_(a) {}

  int List();
  int Set();
  int Alias();
  int Export();
  int Import();
  int Check();

 private:
  int Usage(const std::string& message) {
    env_.Err() << "kvoposcfg: " << message << "\n";
    return kExitUsage;
  }
  int Fail(const std::string& message) {
    env_.Err() << "kvoposcfg: " << message << "\n";
    return kExitFailed;
  }
  // A refused write: said plainly when it is for want of rights.
  int WriteFailed(const Outcome& outcome) {
    if (outcome.denied) {
      env_.Err() << "kvoposcfg: writing the OPOS settings needs administrator rights; run kvoposcfg from an "
                    "administrator's command prompt.\n";
    }
    return Fail(outcome.message);
  }
  Registrations Load() {
    Registrations regs(env_.Store(), env_.OtherStore(), env_.OtherViewName());
    regs.Load();
    return regs;
  }
  bool KeyboardWedge(const Registrations& regs) const {
    const auto& ports = regs.View(DeviceId::kMsr).ports;
    return ports.size() == 1 && ports[0] == kKbdMsrSelected;
  }
  // The device CLASS DEVICE of positional[first], positional[first + 1].
  std::optional<DeviceId> DeviceArgument(std::size_t first) {
    if (a_.positional.size() < first + 2) return std::nullopt;
    return FindDevice(a_.positional[first], a_.positional[first + 1]);
  }
  // The sections export writes of this view: what a registered device holds
  // that import takes back.
  std::vector<DeviceSection> Sections(const Registrations& regs);

  Environment& env_;
  const Arguments& a_;
};

// ---- list ----

std::string ValueOf(const DeviceState& state, const std::string& name) {
  for (const auto& [n, v] : state.values) {
    if (n == name) return v;
  }
  return "(none)";
}

std::string NamesOf(const DeviceState& state) {
  std::string names;
  for (const std::string& n : state.customNames) names += (names.empty() ? "" : ", ") + n;
  return names.empty() ? "(none)" : names;
}

std::string StatusOf(const DeviceInfo& device, const DeviceState& state) {
  if (!state.keyFound) return "not installed (no device key)";
  if (!state.registered) {
    return "not recognised (its ProgID is " + (state.progId ? "\"" + *state.progId + "\"" : std::string("missing")) +
           ", not \"" + device.progId + "\")";
  }
  return "registered (" + *state.progId + ")";
}

void JsonState(kit::TextOut& out, const DeviceState& state) {
  out << "{\"registered\": " << (state.registered ? "true" : "false") << ", \"progId\": "
      << (state.progId ? JsonString(*state.progId) : "null") << ", \"values\": {";
  for (std::size_t i = 0; i < state.values.size(); ++i) {
    out << (i ? ", " : "") << JsonString(state.values[i].first) << ": " << JsonString(state.values[i].second);
  }
  out << "}, \"customNames\": [";
  for (std::size_t i = 0; i < state.customNames.size(); ++i) out << (i ? ", " : "") << JsonString(state.customNames[i]);
  out << "]}";
}

int Runner::List() {
  if (!a_.positional.empty()) return Usage("list takes no arguments");
  kit::TextOut& out = env_.Out();
  KeyStore* other = env_.OtherStore();
  if (a_.json) out << "{\n  \"devices\": [\n";
  bool anyDiffers = false;
  for (std::size_t d = 0; d < kDevices.size(); ++d) {
    const DeviceInfo& device = kDevices[d];
    const DeviceState mine = ReadDeviceState(env_.Store(), device);
    const std::optional<DeviceState> theirs =
        other ? std::optional<DeviceState>(ReadDeviceState(*other, device)) : std::nullopt;
    if (a_.json) {
      const bool differ = theirs && (StatusOf(device, mine) != StatusOf(device, *theirs) || mine.values != theirs->values ||
                                     mine.customNames != theirs->customNames);
      out << "    {\"class\": " << JsonString(device.classKey) << ", \"device\": " << JsonString(device.deviceKey)
          << ", \"views\": {" << JsonString(env_.ViewName()) << ": ";
      JsonState(out, mine);
      if (theirs) {
        out << ", " << JsonString(env_.OtherViewName()) << ": ";
        JsonState(out, *theirs);
      }
      out << "}, \"viewsDiffer\": " << (differ ? "true" : "false") << "}" << (d + 1 < kDevices.size() ? "," : "")
          << "\n";
      continue;
    }
    // One line of the listing; marked, with the other view's value beside
    // it, where the views differ.
    const auto line = [&](const std::string& label, const std::string& value, const std::string& otherValue) {
      const bool differs = theirs && value != otherValue;
      anyDiffers = anyDiffers || differs;
      std::string text = differs ? "* " : "  ";
      text += label;
      if (label.size() < 12) text += std::string(12 - label.size(), ' ');
      text += value;
      if (differs) text += "   (" + env_.OtherViewName() + " view: " + otherValue + ")";
      out << text << "\n";
    };
    out << DeviceTitle(device) << "\n";
    line("status", StatusOf(device, mine), theirs ? StatusOf(device, *theirs) : "");
    for (const char* name : {"Port", "Lrc", "CapStatus", "TraceLevel", "OpSysNT", "Type"}) {
      const bool has = std::any_of(mine.values.begin(), mine.values.end(), [&](auto& v) { return v.first == name; }) ||
                       (theirs && std::any_of(theirs->values.begin(), theirs->values.end(),
                                              [&](auto& v) { return v.first == name; }));
      const bool belongs = (std::string_view(name) == "Port" && device.hasPort) ||
                           (device.switchValue && std::string_view(name) == device.switchValue) ||
                           std::string_view(name) == "TraceLevel";
      if (!has && !belongs) continue;
      line(name, ValueOf(mine, name), theirs ? ValueOf(*theirs, name) : "");
    }
    line("CustomName", NamesOf(mine), theirs ? NamesOf(*theirs) : "");
    out << "\n";
  }
  if (a_.json) {
    out << "  ],\n  \"view\": " << JsonString(env_.ViewName());
    if (other) out << ",\n  \"otherView\": " << JsonString(env_.OtherViewName());
    out << "\n}\n";
  } else if (other) {
    out << (anyDiffers ? "* differs between the " + env_.ViewName() + " and the " + env_.OtherViewName() +
                             " registry views\n"
                       : "The " + env_.ViewName() + " and " + env_.OtherViewName() +
                             " registry views hold the same.\n");
  }
  return kExitOk;
}

// ---- set, alias ----

int Runner::Set() {
  if (a_.positional.size() < 3) return Usage("set needs CLASS DEVICE and at least one NAME=VALUE");
  const auto id = DeviceArgument(0);
  if (!id) {
    return Usage("no device of the kit is \"" + a_.positional[0] + " " + a_.positional[1] + "\"; one of " +
                 kDeviceChoices);
  }
  const DeviceInfo& device = Info(*id);
  Registrations regs = Load();
  std::vector<std::pair<SettingInfo, std::string>> writes;
  for (std::size_t i = 2; i < a_.positional.size(); ++i) {
    Assignment assignment;
    std::string why;
    if (!ParseAssignment(a_.positional[i], assignment, why)) return Usage(why);
    const auto setting = FindSetting(device, assignment.name);
    if (!setting) {
      std::string names;
      for (const SettingInfo& s : SettingsOf(device)) names += (names.empty() ? "" : ", ") + std::string(s.name);
      return Usage("unknown setting \"" + assignment.name + "\" for " + DeviceTitle(device) + "; one of " + names);
    }
    if (!CheckSetting(device, *setting, assignment.value, KeyboardWedge(regs), why)) return Usage(why);
    writes.emplace_back(*setting, assignment.value);
  }
  if (!regs.View(*id).registered) return Fail(DeviceTitle(device) + " is not registered on this till");
  for (const auto& [setting, value] : writes) {
    const Outcome outcome = regs.WriteSetting(*id, setting.name, value, setting.kind == SettingKind::kTraceLevel);
    if (!outcome.ok) return WriteFailed(outcome);
    env_.Out() << DeviceTitle(device) << ": " << setting.name << " = " << value << "\n";
  }
  return kExitOk;
}

int Runner::Alias() {
  if (a_.positional.size() != 4 || (a_.positional[0] != "add" && a_.positional[0] != "remove")) {
    return Usage("alias needs add or remove, CLASS DEVICE and NAME");
  }
  const auto id = DeviceArgument(1);
  if (!id) {
    return Usage("no device of the kit is \"" + a_.positional[1] + " " + a_.positional[2] + "\"; one of " +
                 kDeviceChoices);
  }
  const DeviceInfo& device = Info(*id);
  const std::string& name = a_.positional[3];
  Registrations regs = Load();
  if (!regs.View(*id).registered) return Fail(DeviceTitle(device) + " is not registered on this till");
  if (a_.positional[0] == "remove") {
    const Outcome outcome = regs.RemoveCustomDeviceName(*id, name);
    if (!outcome.ok) return WriteFailed(outcome);
    env_.Out() << DeviceTitle(device) << ": custom device name \"" << name << "\" removed\n";
    return kExitOk;
  }
  std::string why;
  if (!CheckCustomName(name, why)) return Usage(why);
  if (const auto taken = regs.CustomNameTaken(*id, name)) return Fail(*taken);
  const Outcome outcome = regs.AddCustomDeviceName(*id, name);
  if (!outcome.ok) return WriteFailed(outcome);
  env_.Out() << DeviceTitle(device) << ": custom device name \"" << name << "\"\n";
  return kExitOk;
}

// ---- export, import ----

std::vector<DeviceSection> Runner::Sections(const Registrations& regs) {
  std::vector<DeviceSection> sections;
  for (const DeviceInfo& device : kDevices) {
    const DeviceState state = ReadDeviceState(env_.Store(), device);
    if (!state.registered) continue;
    DeviceSection section;
    section.id = device.id;
    for (const SettingInfo& setting : SettingsOf(device)) {
      for (const auto& [name, value] : state.values) {
        if (name != setting.name) continue;
        std::string why;
        if (CheckSetting(device, setting, value, KeyboardWedge(regs), why)) {
          section.settings.push_back({name, value});
        } else {
          env_.Err() << "kvoposcfg: " << DeviceTitle(device) << ": " << name << " \"" << value
                     << "\" is not a value import takes; left out\n";
        }
      }
    }
    section.customName = state.customNames.empty() ? std::string() : state.customNames.front();
    sections.push_back(section);
  }
  return sections;
}

int Runner::Export() {
  if (a_.positional.size() != 1) return Usage("export needs one FILE");
  Registrations regs = Load();
  const std::string text = FormatConfigFile(Sections(regs));
  if (!env_.WriteFileReplacing(a_.positional[0], text)) return Fail(a_.positional[0] + ": cannot be written");
  env_.Err() << "kvoposcfg: the configuration is in " << a_.positional[0] << "\n";
  return kExitOk;
}

int Runner::Import() {
  if (a_.positional.size() != 1) return Usage("import needs one FILE");
  const std::string& path = a_.positional[0];
  const auto text = env_.ReadFile(path);
  if (!text) return Fail(path + ": cannot be read");
  Registrations regs = Load();
  std::vector<DeviceSection> sections;
  std::string why;
  if (!ParseConfigFile(*text, KeyboardWedge(regs), sections, why)) return Fail(path + ": " + why + "; nothing was written");
  // Whatever the till holds must take the whole file before anything is written.
  std::size_t settings = 0;
  for (const DeviceSection& section : sections) {
    const DeviceInfo& device = Info(section.id);
    const auto refuse = [&](int line, const std::string& what) {
      return Fail(path + ": line " + std::to_string(line) + ": " + what + "; nothing was written");
    };
    if (!regs.View(section.id).registered) {
      return refuse(section.line, DeviceTitle(device) + " is not registered on this till");
    }
    if (section.customName && !section.customName->empty()) {
      if (const auto taken = regs.CustomNameTaken(section.id, *section.customName)) {
        return refuse(section.customNameLine, *taken);
      }
    }
    settings += section.settings.size() + (section.customName ? 1 : 0);
  }
  if (a_.dryRun) {
    for (const DeviceSection& section : sections) {
      for (const Assignment& s : section.settings) {
        env_.Out() << DeviceTitle(Info(section.id)) << ": " << s.name << " = " << s.value << "\n";
      }
      if (section.customName) {
        env_.Out() << DeviceTitle(Info(section.id)) << ": CustomName = " << *section.customName << "\n";
      }
    }
    env_.Err() << "kvoposcfg: " << path << " is good: " << std::to_string(settings) << " settings of "
               << std::to_string(sections.size()) << " devices would be written (--dry-run: nothing was written)\n";
    return kExitOk;
  }
  for (const DeviceSection& section : sections) {
    for (const Assignment& s : section.settings) {
      const Outcome outcome = regs.WriteSetting(section.id, s.name, s.value, s.name == "TraceLevel");
      if (!outcome.ok) return WriteFailed(outcome);
    }
    if (!section.customName) continue;
    Outcome outcome;
    if (section.customName->empty()) {
      for (const std::string& name : ReadDeviceState(env_.Store(), Info(section.id)).customNames) {
        outcome = regs.RemoveCustomDeviceName(section.id, name);
        if (!outcome.ok) break;
      }
    } else {
      outcome = regs.AddCustomDeviceName(section.id, *section.customName);
    }
    if (!outcome.ok) return WriteFailed(outcome);
  }
  env_.Err() << "kvoposcfg: " << path << ": " << std::to_string(settings) << " settings of "
             << std::to_string(sections.size()) << " devices written\n";
  return kExitOk;
}

// ---- check ----

const char* StateText(CheckState state) {
  switch (state) {
    case CheckState::kHealthy: return "healthy";
    case CheckState::kNotInstalled: return "not installed";
    case CheckState::kFailed: break;
  }
  return "failed";
}

std::string Hex(long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value) & 0xFFFFFFFFul);
  return text;
}

int Runner::Check() {
  std::vector<CheckRequest> requests;
  std::vector<DeviceId> ids;
  for (const std::string& name : a_.positional) {
    const auto it = std::find_if(kDevices.begin(), kDevices.end(), [&](const DeviceInfo& d) {
      return FindDevice(d.classKey, name) == d.id;
    });
    if (it == kDevices.end()) return Usage("no device of the kit is \"" + name + "\"; one of KvCash1, KvCash2, KvDisplay, KvMsr");
    if (std::find(ids.begin(), ids.end(), it->id) == ids.end()) ids.push_back(it->id);
  }
  if (ids.empty()) {
    for (const DeviceInfo& d : kDevices) ids.push_back(d.id);
  }
  std::vector<CheckReport> reports;
  for (const DeviceId id : ids) {
    const DeviceState state = ReadDeviceState(env_.Store(), Info(id));
    if (!state.progId || state.progId->empty()) {
      CheckReport report;
      report.id = id;
      report.state = id == DeviceId::kLineDisplay ? CheckState::kNotInstalled : CheckState::kFailed;
      report.failure = state.keyFound ? "its device key names no ProgID" : "no device key (the kit is not installed)";
      reports.push_back(report);
      continue;
    }
    requests.push_back({id, *state.progId});
  }
  CheckOptions options;
  options.timeoutSeconds = a_.timeoutSeconds;
  options.swipeSeconds = a_.swipeSeconds;
  if (!requests.empty()) {
    std::vector<CheckReport> checked = env_.Checker().Check(requests, options);
    reports.insert(reports.end(), checked.begin(), checked.end());
  }
  std::sort(reports.begin(), reports.end(), [&](const CheckReport& x, const CheckReport& y) {
    return std::find(ids.begin(), ids.end(), x.id) < std::find(ids.begin(), ids.end(), y.id);
  });
  bool healthy = true;
  kit::TextOut& out = env_.Out();
  if (a_.json) out << "{\n  \"view\": " << JsonString(env_.ViewName()) << ",\n  \"devices\": [\n";
  for (std::size_t i = 0; i < reports.size(); ++i) {
    const CheckReport& r = reports[i];
    const DeviceInfo& device = Info(r.id);
    healthy = healthy && r.state != CheckState::kFailed;
    if (a_.json) {
      out << "    {\"class\": " << JsonString(device.classKey) << ", \"name\": " << JsonString(device.deviceKey)
          << ", \"progId\": " << JsonString(r.progId) << ", \"view\": " << JsonString(env_.ViewName())
          << ", \"state\": " << JsonString(StateText(r.state)) << ", \"steps\": [";
      for (std::size_t s = 0; s < r.steps.size(); ++s) {
        out << (s ? ", " : "") << "{\"step\": " << JsonString(r.steps[s].name) << ", \"result\": "
            << std::to_string(r.steps[s].result) << "}";
      }
      out << "]";
      if (!r.failure.empty()) out << ", \"failure\": " << JsonString(r.failure);
      if (r.drawerOpened) out << ", \"drawerOpened\": " << (*r.drawerOpened ? "true" : "false");
      if (!r.healthText.empty()) out << ", \"checkHealthText\": " << JsonString(r.healthText);
      if (!r.card.empty()) out << ", \"card\": " << JsonString(r.card);
      out << ", \"milliseconds\": " << std::to_string(r.milliseconds) << "}" << (i + 1 < reports.size() ? "," : "")
          << "\n";
      continue;
    }
    std::string line = r.state == CheckState::kHealthy ? "OK      " : r.state == CheckState::kFailed ? "FAILED  " : "ABSENT  ";
    line += DeviceTitle(device);
    if (!r.progId.empty()) line += " [" + r.progId + "]";
    line += ":";
    for (std::size_t s = 0; s < r.steps.size(); ++s) {
      line += (s ? ", " : " ") + r.steps[s].name + " " +
              (r.steps[s].name == "create" ? Hex(r.steps[s].result) : std::to_string(r.steps[s].result));
    }
    if (r.drawerOpened) line += *r.drawerOpened ? "; drawer open" : "; drawer closed";
    if (!r.card.empty()) line += "; card " + r.card;
    if (!r.failure.empty()) line += (r.steps.empty() ? " " : " - ") + r.failure;
    if (r.state == CheckState::kNotInstalled && r.failure.empty()) line += " not installed";
    char time[32];
    std::snprintf(time, sizeof time, " (%.2f s)", static_cast<double>(r.milliseconds) / 1000.0);
    out << line << time << "\n";
  }
  if (a_.json) out << "  ],\n  \"healthy\": " << (healthy ? "true" : "false") << "\n}\n";
  return healthy ? kExitOk : kExitFailed;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += ch;  // UTF-8 as it is
    }
  }
  return out + "\"";
}

int Run(const std::vector<std::string>& args, Environment& env) {
  if (args.empty()) {
    PrintUsage(env.Err());
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    if (args[0] == "help" && args.size() > 1) {
      const Command* c = FindCommand(args[1]);
      if (!c) {
        env.Err() << "kvoposcfg: unknown command '" << args[1] << "'\n";
        return kExitUsage;
      }
      PrintCommandHelp(*c, env.Out());
      return kExitOk;
    }
    PrintUsage(env.Out());
    return kExitOk;
  }
  const Command* command = FindCommand(args[0]);
  if (!command || std::string_view(command->name) == "help") {
    env.Err() << "kvoposcfg: unknown command '" << args[0] << "'\n";
    PrintUsage(env.Err());
    return kExitUsage;
  }
  Arguments a;
  std::string why;
  if (!Parse(*command, args, a, why)) {
    env.Err() << "kvoposcfg: " << why << "\n";
    return kExitUsage;
  }
  if (a.help) {
    PrintCommandHelp(*command, env.Out());
    return kExitOk;
  }
  Runner runner(env, a);
  const std::string_view name = command->name;
  if (name == "list") return runner.List();
  if (name == "set") return runner.Set();
  if (name == "alias") return runner.Alias();
  if (name == "export") return runner.Export();
  if (name == "import") return runner.Import();
  return runner.Check();
}

}  // namespace opos::cli
