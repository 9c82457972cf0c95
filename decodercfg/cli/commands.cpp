#include "cli/commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <variant>

#include "cfgfile.h"
#include "cli/optionnames.h"
#include "link/linksettings.h"
#include "serialname.h"

namespace q5r::cli {

namespace {

// ---- the commands and their help ----

enum Flag : unsigned {
  kJson = 1u << 0,
  kOutput = 1u << 1,
  kBase = 1u << 2,
  kPort = 1u << 3,
  kBaud = 1u << 4,
  kFormat = 1u << 5,
  kSave = 1u << 6,
  kLine = kPort | kBaud | kFormat,
};

struct Command {
  const char* name;
  const char* usage;
  const char* summary;
  unsigned flags;
  const char* details;
};

constexpr const char* kLineHelp =
    "  --port PORT     COMn (on Linux /dev/ttyS<n-1>) or a device path such as\n"
    "                  /dev/ttyUSB0; default COM1\n"
    "  --baud BAUD     1200, 2400, 4800, 9600 or 19200; default 9600\n"
    "  --format FMT    parity, data bits, stop bits: N,8,1 (default), N,8,2,\n"
    "                  N,7,1 or N,7,2\n";

const Command kCommands[] = {
    {"show", "show FILE [--json]", "print every option of both decoders", kJson,
     "Prints one line per option, \"Device / Page / Tab / Group = Value\", with the\n"
     "captions the pages show. --json prints the same as a JSON document.\n"},
    {"diff", "diff FILE_A FILE_B", "print the options that differ", 0,
     "Prints each option whose value differs as two lines: \"- NAME = VALUE_A\"\n"
     "and \"+ NAME = VALUE_B\"; image bits that no option shows are compared too.\n"
     "Exit status as diff's: 0 the files hold the same configuration, 1 they\n"
     "differ, 2 trouble (a file that cannot be read, wrong usage).\n"},
    {"set", "set FILE NAME=VALUE...", "change options by name", 0,
     "NAME is an option's name as 'show' prints it; leading parts may be left\n"
     "out while it still names one option (\"Baud Rate\" is ambiguous,\n"
     "\"bar / Baud Rate\" is not). Letter case does not matter. An unknown or\n"
     "ambiguous name or an invalid value is refused with the candidates or the\n"
     "valid values, and then nothing is written. The file is replaced only\n"
     "once its new contents are completely written.\n"},
    {"defaults", "defaults bar|mag FILE", "set all options of one decoder to their defaults", 0,
     "As \"Set All Default\" of the Bar_Decoder or Magnic_Reader menu. A FILE\n"
     "that does not exist yet is created from a new configuration.\n"},
    {"download", "download FILE [--save|--no-save] [LINE OPTIONS]", "send a configuration to the decoder", kLine | kSave,
     "Sends the file's configuration over RS232. --save (default) makes the\n"
     "decoder keep it, --no-save does not (the Transmit window's Download\n"
     "Option). The port defaults to the file's link port.\n"},
    {"upload", "upload -o FILE [--base FILE] [LINE OPTIONS]", "read a configuration back from the decoder",
     kOutput | kBase | kLine,
     "The decoder sends one section, the bar-code decoder's or the magnetic\n"
     "reader's; it replaces that part of the --base file (a new configuration\n"
     "when there is none), and the result is written to -o FILE.\n"},
    {"version", "version [LINE OPTIONS]", "print the decoder's firmware version", kLine,
     "Prints the two lines of the decoder's firmware version.\n"},
    {"memory", "memory read [-o FILE.txt] | memory clear  [LINE OPTIONS]",
     "read or clear the data the decoder keeps in its memory", kOutput | kLine,
     "'memory read' prints the records (one per line) or writes them to -o\n"
     "FILE.txt as Q5RSetup saves them; 'memory clear' empties the memory.\n"},
    {"help", "help [COMMAND]", "show this help or a command's", 0, ""},
};

constexpr const char* kExitHelp =
    "Exit status: 0 success, 1 the decoder, the port or a file failed,\n"
    "2 wrong usage (unknown command, option, name or value); diff answers\n"
    "0 same, 1 different, 2 trouble.\n";

const Command* FindCommand(std::string_view name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

void PrintUsage(TextOut& out) {
  out << "usage: q5rcfg COMMAND [ARGS]\n\n"
         "Edits Q5R decoder configuration files (*.cfg) and moves them to and from\n"
         "the decoder over RS232.\n\nCommands:\n";
  for (const Command& c : kCommands) {
    out << "  " << c.name << std::string(10 - std::string_view(c.name).size(), ' ') << c.summary << "\n";
  }
  out << "\n'q5rcfg help COMMAND' or 'q5rcfg COMMAND --help' tells more.\n" << kExitHelp;
}

void PrintCommandHelp(const Command& c, TextOut& out) {
  out << "usage: q5rcfg " << c.usage << "\n\n" << c.summary << ".\n\n" << c.details;
  if (c.flags & kLine) out << "\nLine options:\n" << kLineHelp;
  out << "\n" << kExitHelp;
}

// ---- the command line of one command ----

struct Arguments {
  std::vector<std::string> positional;
  bool json = false;
  std::optional<std::string> output, base, port;
  std::string baud = "9600";
  std::string format = "N,8,1 ";
  bool save = true;
  bool help = false;
};

struct UsageError {
  std::string message;
};

std::string Narrow(std::wstring_view text) {
  std::string out;
  for (const wchar_t c : text) out.push_back(static_cast<char>(c));
  return out;
}

std::string Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

// "N,8,1" as the Transmit window's options make it, padded to six.
std::optional<std::string> FormatGiven(std::string_view text) {
  if (text.size() != 5 || (text[0] != 'N' && text[0] != 'n') || text[1] != ',' || text[3] != ',') return std::nullopt;
  if ((text[2] != '7' && text[2] != '8') || (text[4] != '1' && text[4] != '2')) return std::nullopt;
  return "N," + std::string(1, text[2]) + "," + std::string(1, text[4]) + " ";
}

std::variant<Arguments, UsageError> ParseArguments(const Command& command, const std::vector<std::string>& args,
                                                   std::size_t first) {
  Arguments a;
  const auto refuse = [&](const std::string& message) {
    return UsageError{message + " (see 'q5rcfg " + command.name + " --help')"};
  };
  for (std::size_t i = first; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "--help" || arg == "-h") {
      a.help = true;
      continue;
    }
    if (arg.size() < 2 || arg[0] != '-' || arg == "--") {
      if (arg == "--") {
        a.positional.insert(a.positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
        break;
      }
      a.positional.push_back(arg);
      continue;
    }
    std::optional<std::string> value;
    if (const auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    struct Known {
      const char* name;
      Flag flag;
      bool takesValue;
    };
    static constexpr Known kKnown[] = {{"--json", kJson, false},  {"-o", kOutput, true},      {"--output", kOutput, true},
                                       {"--base", kBase, true},   {"--port", kPort, true},    {"--baud", kBaud, true},
                                       {"--format", kFormat, true}, {"--save", kSave, false}, {"--no-save", kSave, false}};
    const Known* known = nullptr;
    for (const Known& k : kKnown) {
      if (arg == k.name) known = &k;
    }
    if (!known || !(command.flags & known->flag)) return refuse("unknown option " + arg + " for '" + command.name + "'");
    if (known->takesValue && !value) {
      if (i + 1 >= args.size()) return refuse("option " + arg + " needs a value");
      value = args[++i];
    } else if (!known->takesValue && value) {
      return refuse("option " + arg + " takes no value");
    }
    switch (known->flag) {
      case kJson: a.json = true; break;
      case kOutput: a.output = *value; break;
      case kBase: a.base = *value; break;
      case kPort: a.port = *value; break;
      case kBaud:
        if (std::find_if(kBaudTexts.begin(), kBaudTexts.end(), [&](const char* b) { return *value == b; }) ==
            kBaudTexts.end()) {
          return refuse("unknown value " + *value + " for --baud; one of 1200, 2400, 4800, 9600, 19200");
        }
        a.baud = *value;
        break;
      case kFormat:
        if (const auto f = FormatGiven(*value)) {
          a.format = *f;
        } else {
          return refuse("unknown value " + *value + " for --format; one of N,8,1, N,8,2, N,7,1, N,7,2");
        }
        break;
      case kSave: a.save = arg == "--save"; break;
      default: break;
    }
  }
  return a;
}

// ---- configuration files ----

struct Config {
  FileInfo info;
  ConfigImage image;
};

class Runner {
 public:
  Runner(Environment& env, const Command& command, Arguments args) : env_(env), command_(command), a_(std::move(args)) {}

  int Run();

 private:
  int Fail(const std::string& message) {
    EndProgress();
    env_.Err() << message << "\n";
    return kExitFailed;
  }
  int Usage(const std::string& message) {
    env_.Err() << "q5rcfg " << command_.name << ": " << message << "\n"
               << "usage: q5rcfg " << command_.usage << "\n";
    return kExitUsage;
  }
  bool Positional(std::size_t count) const { return a_.positional.size() == count; }

  // Reads a configuration file; a message and false when it cannot.
  bool Load(const std::string& path, Config& config, bool mayBeMissing = false);
  bool Save(const std::string& path, const Config& config);

  int Show();
  int Diff();
  int Set();
  int Defaults();
  int Download();
  int Upload();
  int Version();
  int Memory();

  std::unique_ptr<SerialLine> OpenLine(int defaultPort);
  void Progress(const std::string& text);
  void EndProgress();

  Environment& env_;
  const Command& command_;
  Arguments a_;
  std::string failure_;  // the message of a failed Load or OpenLine
  std::size_t progressWidth_ = 0;  // of the progress line shown, 0 = none
};

bool Runner::Load(const std::string& path, Config& config, bool mayBeMissing) {
  const auto contents = env_.ReadFile(path);
  if (!contents) {
    if (mayBeMissing) return true;
    failure_ = "The file \"" + path + "\" could not be read.";
    return false;
  }
  if (ParseConfigFile(*contents, config.info, config.image) != ParseResult::kOk) {
    failure_ = "\"" + path + "\": This File Is Not A Configuration Setup File";
    return false;
  }
  return true;
}

bool Runner::Save(const std::string& path, const Config& config) {
  if (env_.WriteFileReplacing(path, FormatConfigFile(config.info, config.image.Bytes()))) return true;
  failure_ = "The file \"" + path + "\" could not be saved.";
  return false;
}

// One line redrawn in place with carriage returns and blanks (no escape
// sequences: an older Windows console would print them).
void Runner::Progress(const std::string& text) {
  if (!env_.ErrIsTerminal()) return;
  const std::size_t width = std::max(progressWidth_, text.size());
  env_.Err() << "\r" << text << std::string(width - text.size(), ' ');
  env_.Err().Flush();
  progressWidth_ = width;
}

void Runner::EndProgress() {
  if (progressWidth_ == 0) return;
  env_.Err() << "\r" << std::string(progressWidth_, ' ') << "\r";
  env_.Err().Flush();
  progressWidth_ = 0;
}

std::unique_ptr<SerialLine> Runner::OpenLine(int defaultPort) {
  const std::string port = a_.port ? *a_.port : "COM" + std::to_string(defaultPort);
  const int number = a_.port ? kit::ComPortNumber(port) : defaultPort;
  auto line = env_.OpenPort(port, number, LineSettingsText(a_.baud, a_.format));
  if (!line) {
    failure_ = number > 0 || !a_.port ? Narrow(PortUnavailableMessage(number)) : port + ": not available.";
  }
  return line;
}

// ---- show, diff, set, defaults ----

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c >= 0x7F) {
      // Bytes above 127 are characters of the ANSI code page: read as Latin-1.
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

int Runner::Show() {
  if (!Positional(1)) return Usage("needs one FILE");
  Config config;
  if (!Load(a_.positional[0], config)) return Fail(failure_);
  const auto& options = AllOptions();
  if (!a_.json) {
    for (const Option& o : options) env_.Out() << o.Name() << " = " << ShowValue(o, config.info, config.image) << "\n";
    return kExitOk;
  }
  TextOut& out = env_.Out();
  out << "{\n  \"file\": " << JsonString(a_.positional[0]) << ",\n  \"options\": [\n";
  for (std::size_t i = 0; i < options.size(); ++i) {
    const Option& o = options[i];
    std::string group;
    for (std::size_t p = 3; p < o.path.size(); ++p) group += (group.empty() ? "" : " / ") + o.path[p];
    out << "    {\"name\": " << JsonString(o.Name()) << ", \"device\": " << JsonString(o.path[0])
        << ", \"page\": " << JsonString(o.path[1]) << ", \"tab\": " << JsonString(o.path[2])
        << ", \"group\": " << JsonString(group) << ", \"value\": "
        << JsonString(ShowValue(o, config.info, config.image)) << "}" << (i + 1 < options.size() ? "," : "") << "\n";
  }
  out << "  ]\n}\n";
  return kExitOk;
}

int Runner::Diff() {
  if (!Positional(2)) return Usage("needs two FILEs");
  Config a, b;
  if (!Load(a_.positional[0], a) || !Load(a_.positional[1], b)) {
    Fail(failure_);
    return kDiffTrouble;
  }
  TextOut& out = env_.Out();
  bool different = false;
  for (const Option& o : AllOptions()) {
    const std::string va = ShowValue(o, a.info, a.image), vb = ShowValue(o, b.info, b.image);
    if (va == vb) continue;
    different = true;
    out << "- " << o.Name() << " = " << va << "\n+ " << o.Name() << " = " << vb << "\n";
  }
  const ImageBytes shown = ShownBits();
  for (std::size_t i = 0; i < kImageSize; ++i) {
    const int hidden = (a.image.Byte(i) ^ b.image.Byte(i)) & ~shown[i];
    if (hidden == 0) continue;
    char line[96];
    std::snprintf(line, sizeof line, "- image byte %zu = 0x%02X\n+ image byte %zu = 0x%02X\n", i, a.image.Byte(i), i,
                  b.image.Byte(i));
    out << line;
    different = true;
  }
  return different ? kDiffDifferent : kDiffSame;
}

int Runner::Set() {
  if (a_.positional.size() < 2) return Usage("needs a FILE and at least one NAME=VALUE");
  Config config;
  if (!Load(a_.positional[0], config)) return Fail(failure_);
  std::vector<Assignment> assignments;
  for (std::size_t i = 1; i < a_.positional.size(); ++i) {
    auto parsed = ParseAssignment(a_.positional[i]);
    if (auto* message = std::get_if<std::string>(&parsed)) return Usage(*message);
    assignments.push_back(std::get<Assignment>(parsed));
  }
  for (const Assignment& s : assignments) {
    if (const auto message = SetValue(*s.option, s.value, config.info, config.image)) return Usage(*message);
  }
  if (!Save(a_.positional[0], config)) return Fail(failure_);
  for (const Assignment& s : assignments) {
    env_.Out() << s.option->Name() << " = " << ShowValue(*s.option, config.info, config.image) << "\n";
  }
  return kExitOk;
}

int Runner::Defaults() {
  if (!Positional(2) || (a_.positional[0] != "bar" && a_.positional[0] != "mag")) {
    return Usage("needs bar or mag, and a FILE");
  }
  Config config;
  if (!Load(a_.positional[1], config, true)) return Fail(failure_);
  if (a_.positional[0] == "bar") {
    config.image.LoadBarDecoderDefaults();
  } else {
    config.image.LoadMagReaderDefaults();
  }
  if (!Save(a_.positional[1], config)) return Fail(failure_);
  return kExitOk;
}

// ---- the decoder ----

int Runner::Download() {
  if (!Positional(1)) return Usage("needs one FILE");
  Config config;
  if (!Load(a_.positional[0], config)) return Fail(failure_);
  auto line = OpenLine(config.info.linkPort);
  if (!line) return Fail(failure_);
  Progress("Downloading to the decoder...");
  const SerialResult result = SerialDownload(*line, config.image.Bytes(), a_.save);
  EndProgress();
  const std::string message = Narrow(kDownloadMessages[static_cast<int>(result)]);
  if (result != SerialResult::kAccepted) return Fail(message);
  env_.Out() << message << "\n";
  return kExitOk;
}

int Runner::Upload() {
  if (!Positional(0) || !a_.output) return Usage("needs -o FILE");
  Config config;
  if (a_.base && !Load(*a_.base, config)) return Fail(failure_);
  auto line = OpenLine(1);
  if (!line) return Fail(failure_);
  Progress("Uploading from the decoder...");
  const SerialUploadOutcome outcome = SerialUpload(*line);
  EndProgress();
  if (outcome.result != SerialResult::kAccepted) return Fail(Narrow(kUploadMessages[static_cast<int>(outcome.result)]));
  ApplyUploadData(outcome.reply->data, config.image);
  if (!Save(*a_.output, config)) return Fail(failure_);
  env_.Out() << Trim(Narrow(kUploadOk)) << "\n";
  env_.Err() << (outcome.reply->data.section == ImageSection::kMagReader ? "magnetic reader" : "bar-code decoder")
             << " section written to " << *a_.output << "\n";
  return kExitOk;
}

int Runner::Version() {
  if (!Positional(0)) return Usage("takes no arguments");
  auto line = OpenLine(1);
  if (!line) return Fail(failure_);
  Progress("Asking the decoder...");
  const SerialUploadOutcome outcome = SerialUpload(*line);
  EndProgress();
  if (outcome.result != SerialResult::kAccepted) return Fail(Narrow(kUploadMessages[static_cast<int>(outcome.result)]));
  env_.Out() << Trim(outcome.reply->versionFirst) << "\n" << Trim(outcome.reply->versionSecond) << "\n";
  return kExitOk;
}

int Runner::Memory() {
  const bool read = Positional(1) && a_.positional[0] == "read";
  const bool clear = Positional(1) && a_.positional[0] == "clear";
  if (!read && !clear) return Usage("needs read or clear");
  if (clear && a_.output) return Usage("'memory clear' writes no file");
  auto line = OpenLine(1);
  if (!line) return Fail(failure_);
  if (clear) {
    Progress("Clearing the decoder's memory...");
    const BlockStatus status = SerialClearMemory(*line);
    EndProgress();
    const std::string message = Narrow(kClearMemoryMessages[static_cast<int>(status)]);
    if (status != BlockStatus::kMore && status != BlockStatus::kEnd) return Fail(message);
    env_.Out() << message << "\n";
    return kExitOk;
  }
  MemoryAssembler assembler;
  std::string text;
  int records = 0;
  Progress("Reading the decoder's memory...");
  const BlockStatus status = SerialReadMemory(*line, assembler, text, [&](std::string_view added) {
    records += static_cast<int>(std::count(added.begin(), added.end(), '\n'));
    Progress("Reading the decoder's memory... " + std::to_string(records) + " records");
  });
  EndProgress();
  const std::string message = Trim(Narrow(kReadMemoryMessages[static_cast<int>(status)]));
  if (status != BlockStatus::kMore && status != BlockStatus::kEnd) return Fail(message);
  if (a_.output) {
    // As the memory window saves it: the text and a CR LF.
    if (!env_.WriteFileReplacing(*a_.output, text + "\r\n")) {
      return Fail("The file \"" + *a_.output + "\" could not be saved.");
    }
    env_.Err() << message << "\n";
  } else {
    for (std::size_t start = 0; start < text.size();) {
      std::size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      env_.Out() << text.substr(start, end - start) << "\n";
      start = end + 2;
    }
  }
  return kExitOk;
}

int Runner::Run() {
  if (a_.help) {
    PrintCommandHelp(command_, env_.Out());
    return kExitOk;
  }
  const std::string name = command_.name;
  if (name == "show") return Show();
  if (name == "diff") return Diff();
  if (name == "set") return Set();
  if (name == "defaults") return Defaults();
  if (name == "download") return Download();
  if (name == "upload") return Upload();
  if (name == "version") return Version();
  if (name == "memory") return Memory();
  return kExitUsage;
}

}  // namespace

int Run(const std::vector<std::string>& args, Environment& env) {
  if (args.empty()) {
    PrintUsage(env.Err());
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    if (args[0] == "help" && args.size() > 1) {
      const Command* c = FindCommand(args[1]);
      if (!c) {
        env.Err() << "q5rcfg: unknown command '" << args[1] << "'\n";
        PrintUsage(env.Err());
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
    env.Err() << "q5rcfg: unknown command '" << args[0] << "'\n";
    PrintUsage(env.Err());
    return kExitUsage;
  }
  auto parsed = ParseArguments(*command, args, 1);
  if (auto* error = std::get_if<UsageError>(&parsed)) {
    env.Err() << "q5rcfg " << command->name << ": " << error->message << "\n";
    return kExitUsage;
  }
  Runner runner(env, *command, std::get<Arguments>(std::move(parsed)));
  return runner.Run();
}

int FinalStatus(const std::vector<std::string>& args, int status, bool outputFailed) {
  if (!outputFailed) return status;
  return !args.empty() && args[0] == "diff" ? kDiffTrouble : kExitFailed;
}

}  // namespace q5r::cli
