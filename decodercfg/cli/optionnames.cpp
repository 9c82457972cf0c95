#include "cli/optionnames.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>

#include "childwindows.h"
#include "pages/textrules.h"

namespace q5r::cli {

namespace {

constexpr std::string_view kBarDevice = "Bar_Decoder";  // the main menus' captions
constexpr std::string_view kMagDevice = "Magnic_Reader";
constexpr std::string_view kBarAlias = "bar";
constexpr std::string_view kMagAlias = "mag";

// A caption as the user sees it: no accelerator ampersand ("&&" is one
// ampersand), single blanks, no blanks or colon at the ends.
std::string Display(std::wstring_view caption) {
  std::string text;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    wchar_t c = caption[i];
    if (c == L'&') {
      if (i + 1 < caption.size() && caption[i + 1] == L'&') ++i; else continue;
    }
    if (c == L' ' && (text.empty() || text.back() == ' ')) continue;
    text.push_back(static_cast<char>(c));  // the captions are ASCII
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == ':')) text.pop_back();
  return text;
}

struct Builder {
  std::vector<Option>& out;
  bool bar;
  std::string device, page;
  std::vector<std::string> tabs;

  Option& Add(int tab, std::vector<std::string> tail, OptionKind kind) {
    Option o;
    o.path = {device, page, tabs.at(static_cast<std::size_t>(tab))};
    o.path.insert(o.path.end(), tail.begin(), tail.end());
    o.kind = kind;
    o.barDecoder = bar;
    out.push_back(std::move(o));
    return out.back();
  }
};

// Frames that hold check boxes whose own captions do not tell them apart.
std::vector<std::string> FieldPath(const Field& f) {
  const std::string caption = Display(f.caption);
  if (f.id >= IDC_CFG5_CODABARCHARS && f.id < IDC_CFG5_CODABARCHARS + 4) return {"Transmission Type of Stop", caption};
  if (f.id >= IDC_CFG5_CODABARCHARS + 4 && f.id < IDC_CFG5_CODABARCHARS + 8) return {"Transmission Type of Start", caption};
  if (f.id == IDC_MAG4_STARTSTOP) return {"Send Start/Stop Character"};
  if (f.id == IDC_MAG4_ACCOUNT) return {"Track 2 Account Number Only"};
  return {caption};
}

// The user information texts of the Interface pages.
struct TextBox {
  const char* label;
  std::string FileInfo::*text;
};
constexpr TextBox kTextBoxes[] = {{"Device Name", &FileInfo::deviceName},
                                  {"User's Name", &FileInfo::userName},
                                  {"Building Date", &FileInfo::buildingDate},
                                  {"Description", &FileInfo::description}};

void AddPage(std::vector<Option>& out, int number, bool bar) {
  const PageTable& table = *PageTableFor(number);
  Builder b{out, bar, std::string(bar ? kBarDevice : kMagDevice), Display(WindowInfo(number).caption), {}};
  for (const Tab& tab : table.tabs) b.tabs.push_back(Display(tab.caption));
  const std::size_t first = out.size();

  for (const Field& f : table.fields) {
    b.Add(f.frame, FieldPath(f), IsCheckBox(f) ? OptionKind::kCheck : OptionKind::kChoice).field = &f;
  }
  switch (number) {
    case 1:
    case 8:
      for (const TextBox& t : kTextBoxes) b.Add(0, {t.label}, OptionKind::kFileText).text = t.text;
      break;
    case 4: {
      for (const CharBox& box : kCodeIdBoxes) b.Add(1, {Display(box.label)}, OptionKind::kCodeId).byte = box.byte;
      b.Add(2, {"Prefix"}, OptionKind::kInsertion).run = kBarPrefix;
      b.Add(2, {"Sufix"}, OptionKind::kInsertion).run = kBarSuffix;  // the page's own spelling
      for (const TruncationCombo& combo : kTruncationCombos) {
        Option& o = b.Add(2, {Display(combo.label)}, OptionKind::kTruncation);
        o.byte = kTruncationByte;
        o.mask = combo.mask;
      }
      break;
    }
    case 6:
      b.Add(3, {"Separator Character (For Dual Or Triple Tracks)"}, OptionKind::kSeparator).byte = kSeparatorByte;
      break;
    case 7:
      for (int track = 0; track < kTrackCount; ++track) {
        const std::string name = "Track " + std::to_string(track + 1);
        b.Add(1, {"Prefix", name}, OptionKind::kInsertion).run = TrackPrefix(track);
      }
      for (int track = 0; track < kTrackCount; ++track) {
        const std::string name = "Track " + std::to_string(track + 1);
        b.Add(1, {"Sufix", name}, OptionKind::kInsertion).run = TrackSuffix(track);
      }
      for (const CharBox& box : kTrackCharBoxes) b.Add(2, {Display(box.label)}, OptionKind::kTrackChar).byte = box.byte;
      break;
    default:
      break;
  }
  // Tab by tab, as the page shows them.
  std::stable_sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(), [&](const Option& x, const Option& y) {
    const auto tabOf = [&](const Option& o) { return std::find(b.tabs.begin(), b.tabs.end(), o.path[2]) - b.tabs.begin(); };
    return tabOf(x) < tabOf(y);
  });
}

std::vector<Option> BuildOptions() {
  std::vector<Option> out;
  for (int number : {1, 2, 3, 4}) AddPage(out, number, true);
  for (int number : {8, 6, 7}) AddPage(out, number, false);
  return out;
}

std::string Quote(std::string_view text) {
  std::string quoted(1, '"');
  quoted.append(text);
  quoted.push_back('"');
  return quoted;
}

// A one-character box's character: control characters by their braced name.
std::string CharShown(std::uint8_t code) {
  if (code < kControlCount) {
    std::string name(1, '{');
    name.append(ControlName(code));
    name.push_back('}');
    return name;
  }
  return std::string(1, static_cast<char>(code));
}

// One character, or a control character by its name in braces ("{CR}").
std::optional<std::uint8_t> CharGiven(std::string_view value) {
  if (value.size() == 1) return static_cast<std::uint8_t>(value[0]);
  if (value.size() >= 3 && value.front() == '{' && value.back() == '}') {
    if (const auto code = ControlCode(value.substr(1, value.size() - 2))) return static_cast<std::uint8_t>(*code);
  }
  return std::nullopt;
}

// How many slots an insertion text takes (up to the last one it fills).
std::size_t SlotsTaken(std::string_view text) {
  std::array<std::uint8_t, 256> slots{};
  TextToSlots(text, slots);
  std::size_t n = slots.size();
  while (n > 0 && slots[n - 1] == kEmptySlot) --n;
  return n;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

std::string NormalizeName(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '&') continue;
    const bool blank = std::isspace(static_cast<unsigned char>(c)) != 0;
    if (blank) {
      if (!out.empty() && out.back() != ' ' && out.back() != '/') out.push_back(' ');
      continue;
    }
    if (c == '/' && !out.empty() && out.back() == ' ') out.pop_back();
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Option::Name() const {
  std::string name;
  for (const std::string& part : path) name += (name.empty() ? "" : " / ") + part;
  return name;
}

const std::vector<Option>& AllOptions() {
  static const std::vector<Option> options = BuildOptions();
  return options;
}

std::string ShowValue(const Option& o, const FileInfo& info, const ConfigImage& image) {
  switch (o.kind) {
    case OptionKind::kChoice: {
      const int shown = ShownChoice(*o.field, image);
      if (shown < 0) return "(no option: stored " + std::to_string(FieldValue(*o.field, image)) + ")";
      return Display(o.field->choices[static_cast<std::size_t>(shown)].caption);
    }
    case OptionKind::kCheck: return FieldValue(*o.field, image) != 0 ? "ON" : "OFF";
    case OptionKind::kFileText: return info.*o.text;
    case OptionKind::kCodeId: {
      const std::uint8_t code = image.Byte(static_cast<std::size_t>(o.byte));
      return code == 0 ? std::string() : CharShown(code);
    }
    case OptionKind::kTrackChar: return CharShown(image.Byte(static_cast<std::size_t>(o.byte)));
    case OptionKind::kInsertion: return ShowRun(image, o.run);
    case OptionKind::kTruncation:
      return std::to_string(image.GetBits(o.byte, o.mask) >> (o.mask == 0xF0 ? 4 : 0));
    case OptionKind::kSeparator: {
      const std::uint8_t code = image.Byte(static_cast<std::size_t>(o.byte));
      return code < kControlCount ? ControlName(code) : std::string(1, static_cast<char>(code));
    }
  }
  return {};
}

std::string ValidValues(const Option& o) {
  switch (o.kind) {
    case OptionKind::kChoice: {
      std::string list;
      for (const Choice& c : o.field->choices) list += (list.empty() ? "" : ", ") + Display(c.caption);
      return "one of: " + list;
    }
    case OptionKind::kCheck: return "one of: ON, OFF";
    case OptionKind::kFileText: return "any text on one line";
    case OptionKind::kCodeId: return "one character, or nothing";
    case OptionKind::kTrackChar: return "one character, or a control character as {NAME} (e.g. {CR})";
    case OptionKind::kInsertion:
      return "up to " + std::to_string(o.run.count) +
             " characters; control characters as {NAME} (e.g. {CR}); nothing empties it";
    case OptionKind::kTruncation: return "a number 0..15";
    case OptionKind::kSeparator: return "a control character's name (NUL..US, e.g. CR) or one character";
  }
  return {};
}

std::optional<std::string> SetValue(const Option& o, std::string_view value, FileInfo& info, ConfigImage& image) {
  const auto refuse = [&] {
    return "invalid value " + Quote(value) + " for " + o.Name() + "; " + ValidValues(o);
  };
  switch (o.kind) {
    case OptionKind::kChoice: {
      const std::string wanted = NormalizeName(value);
      for (std::size_t i = 0; i < o.field->choices.size(); ++i) {
        if (NormalizeName(Display(o.field->choices[i].caption)) == wanted) {
          WriteChoice(*o.field, static_cast<int>(i), image);
          return std::nullopt;
        }
      }
      return refuse();
    }
    case OptionKind::kCheck: {
      const std::string wanted = NormalizeName(value);
      if (wanted != "on" && wanted != "off") return refuse();
      WriteCheck(*o.field, wanted == "on", image);
      return std::nullopt;
    }
    case OptionKind::kFileText:
      // Each text is one line of the file: a line break would shift every
      // line after it.
      if (HasLineBreak(value)) return refuse();
      info.*o.text = std::string(value);
      return std::nullopt;
    case OptionKind::kCodeId: {
      const CodeIdInput input = ReadCodeId(value);
      if (input.tooLong) return "invalid value " + Quote(value) + " for " + o.Name() + ": Allow only one character.";
      image.SetByte(static_cast<std::size_t>(o.byte), input.code);
      return std::nullopt;
    }
    case OptionKind::kTrackChar: {
      const auto code = CharGiven(value);
      if (!code) return refuse();
      image.SetByte(static_cast<std::size_t>(o.byte), *code);
      return std::nullopt;
    }
    case OptionKind::kInsertion: {
      const std::size_t taken = SlotsTaken(value);
      // Code 255 marks an empty slot: it would cut the text short.
      if (value.find('\xFF') != std::string_view::npos || HasLineBreak(value)) return refuse();
      if (taken > static_cast<std::size_t>(o.run.count)) {
        return "invalid value " + Quote(value) + " for " + o.Name() + ": it takes " + std::to_string(taken) +
               " characters; " + ValidValues(o);
      }
      StoreRun(value, o.run, image);
      return std::nullopt;
    }
    case OptionKind::kTruncation: {
      const auto n = ParseTruncation(value);
      if (!n) return refuse();
      image.SetBits(o.byte, o.mask, *n << (o.mask == 0xF0 ? 4 : 0));
      return std::nullopt;
    }
    case OptionKind::kSeparator: {
      std::string_view name = value;
      if (name.size() >= 2 && name.front() == '{' && name.back() == '}') name = name.substr(1, name.size() - 2);
      if (const auto code = ControlCode(name)) {
        image.SetByte(static_cast<std::size_t>(o.byte), static_cast<std::uint8_t>(*code));
        return std::nullopt;
      }
      if (value.size() != 1) return refuse();
      image.SetByte(static_cast<std::size_t>(o.byte), static_cast<std::uint8_t>(value[0]));
      return std::nullopt;
    }
  }
  return refuse();
}

// The bits of each image byte that some option shows.
ImageBytes ShownBits() {
  ImageBytes bits{};
  for (const Option& o : AllOptions()) {
    switch (o.kind) {
      case OptionKind::kChoice:
      case OptionKind::kCheck: bits[static_cast<std::size_t>(o.field->byte)] |= static_cast<std::uint8_t>(o.field->mask); break;
      case OptionKind::kTruncation: bits[static_cast<std::size_t>(o.byte)] |= static_cast<std::uint8_t>(o.mask); break;
      case OptionKind::kInsertion:
        for (int i = 0; i < o.run.count; ++i) bits[static_cast<std::size_t>(o.run.first + i)] = 0xFF;
        break;
      case OptionKind::kFileText: break;
      default: bits[static_cast<std::size_t>(o.byte)] = 0xFF; break;
    }
  }
  return bits;
}

namespace {

// Every name each option answers to: every choice of leading components
// kept, the group always kept, the device also by its short name.
std::map<std::string, std::vector<const Option*>> BuildNameIndex() {
  std::map<std::string, std::vector<const Option*>> index;
  for (const Option& o : AllOptions()) {
    std::vector<std::string> parts;
    for (const std::string& p : o.path) parts.push_back(NormalizeName(p));
    const std::size_t leading = parts.size() - 1;
    const std::string alias(o.barDecoder ? kBarAlias : kMagAlias);
    std::set<std::string> names;
    for (unsigned keep = 0; keep < (1u << leading); ++keep) {
      for (int useAlias = 0; useAlias < 2; ++useAlias) {
        if (useAlias && !(keep & 1u)) break;
        std::string joined;
        for (std::size_t i = 0; i < leading; ++i) {
          if (keep & (1u << i)) joined += (i == 0 && useAlias ? alias : parts[i]) + "/";
        }
        names.insert(joined + parts.back());
      }
    }
    for (const std::string& name : names) {
      auto& found = index[name];
      // The user information shows on both Interface pages: one text.
      const bool sameText = o.kind == OptionKind::kFileText &&
                            std::any_of(found.begin(), found.end(), [&](const Option* f) { return f->text == o.text; });
      if (!sameText) found.push_back(&o);
    }
  }
  return index;
}

}  // namespace

std::vector<const Option*> FindOptions(std::string_view name) {
  static const auto index = BuildNameIndex();
  const auto it = index.find(NormalizeName(name));
  return it == index.end() ? std::vector<const Option*>{} : it->second;
}

std::variant<Assignment, std::string> ParseAssignment(std::string_view argument) {
  std::size_t firstEquals = argument.find('=');
  if (firstEquals == std::string_view::npos) {
    return "expected NAME=VALUE, got " + Quote(argument);
  }
  for (std::size_t pos = argument.rfind('='); pos != std::string_view::npos; pos = argument.rfind('=', pos - 1)) {
    const std::string_view name = argument.substr(0, pos);
    const auto found = FindOptions(name);
    if (found.size() == 1) return Assignment{found.front(), std::string(argument.substr(pos + 1))};
    if (found.size() > 1) {
      std::string message = "ambiguous name " + Quote(name) + "; it names:";
      for (const Option* o : found) message += "\n  " + o->Name();
      return message;
    }
    if (pos == 0) break;
  }
  // Unknown: offer the options whose last component holds the last word given.
  const std::string_view name = argument.substr(0, firstEquals);
  std::string last = NormalizeName(name);
  if (const auto slash = last.rfind('/'); slash != std::string::npos) last = last.substr(slash + 1);
  std::string message = "unknown option " + Quote(name);
  std::string candidates;
  int count = 0;
  for (const Option& o : AllOptions()) {
    if (last.empty() || NormalizeName(o.path.back()).find(last) == std::string::npos) continue;
    if (++count > 12) break;
    candidates += "\n  " + o.Name();
  }
  if (!candidates.empty()) return message + "; similar names:" + candidates;
  return message + "; 'q5rcfg show FILE' lists every option";
}

}  // namespace q5r::cli
