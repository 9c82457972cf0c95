#include "cli/optionnames.h"

#include <gtest/gtest.h>

#include <set>
#include <variant>

#include "pages/textrules.h"

namespace q5r::cli {
namespace {

const PageTable* const kPages[] = {&kBarInterfacePage, &kBarCommPage, &kBarCodesPage, &kBarMiscPage,
                                   &kMagCommPage,      &kMagMiscPage, &kMagInterfacePage};

const Option& Named(std::string_view name) {
  const auto found = FindOptions(name);
  if (found.size() != 1) throw std::logic_error("not one option: " + std::string(name));
  return *found.front();
}

TEST(OptionNames, EveryFieldOfEveryPageHasOneOptionAndEveryFullNameFindsItself) {
  const auto& options = AllOptions();
  std::set<std::string> names;
  for (const Option& o : options) {
    EXPECT_TRUE(names.insert(NormalizeName(o.Name())).second) << "two options named " << o.Name();
    const auto found = FindOptions(o.Name());
    ASSERT_FALSE(found.empty()) << o.Name();
    EXPECT_EQ(found.front(), &o) << o.Name();
  }
  for (const PageTable* page : kPages) {
    for (const Field& f : page->fields) {
      int count = 0;
      for (const Option& o : options) count += o.field == &f;
      EXPECT_EQ(count, 1) << "page " << page->number << " control " << f.id;
    }
  }
  // The page's own controls: code IDs, start/end characters, insertion runs,
  // truncation, separator and the user information.
  std::set<int> bytes;
  int insertions = 0, texts = 0, truncations = 0, separators = 0;
  for (const Option& o : options) {
    if (o.kind == OptionKind::kCodeId || o.kind == OptionKind::kTrackChar) bytes.insert(o.byte);
    insertions += o.kind == OptionKind::kInsertion;
    texts += o.kind == OptionKind::kFileText;
    truncations += o.kind == OptionKind::kTruncation;
    separators += o.kind == OptionKind::kSeparator;
  }
  for (const CharBox& box : kCodeIdBoxes) EXPECT_TRUE(bytes.count(box.byte)) << box.byte;
  for (const CharBox& box : kTrackCharBoxes) EXPECT_TRUE(bytes.count(box.byte)) << box.byte;
  EXPECT_EQ(insertions, 2 + 2 * kTrackCount);
  EXPECT_EQ(texts, 8);  // four texts on each Interface page
  EXPECT_EQ(truncations, 2);
  EXPECT_EQ(separators, 1);
}

TEST(OptionNames, ShortNamesCaseAndBlanksDoNotMatterAndTheDeviceHasAShortName) {
  const Option& baud = Named("Bar_Decoder / Communication Parameters / RS232 / Baud Rate");
  EXPECT_EQ(&Named("bar/baud rate"), &baud);
  EXPECT_EQ(&Named("  BAR_DECODER /   baud   RATE "), &baud);
  EXPECT_EQ(&Named("bar / RS232 / Baud Rate"), &baud);
  EXPECT_EQ(&Named("Code 39 / Check Digit"), &Named("Bar_Decoder / Bar Codes and Others / Code 39 / Check Digit"));
  EXPECT_EQ(&Named("Send Start / Stop Character"), &Named("mag / Send Start/Stop Character"));
  EXPECT_EQ(&Named("Transmission Type of Start / A"), &Named("Codabar / Transmission Type of Start / A"));
  EXPECT_EQ(FindOptions("Baud Rate").size(), 2u);
  EXPECT_EQ(FindOptions("Check Digit").size(), 4u);
  EXPECT_TRUE(FindOptions("Baud").empty());
  EXPECT_TRUE(FindOptions("Communication Parameters").empty()) << "a page alone names nothing";
  // The user information is one text shown on both Interface pages.
  EXPECT_EQ(FindOptions("Device Name").size(), 1u);
}

TEST(OptionNames, AssignmentsSplitAtTheEqualsSignThatEndsAName) {
  auto a = std::get<Assignment>(ParseAssignment("UPC-A=EAN-13=ON"));
  EXPECT_EQ(a.option->path.back(), "UPC-A=EAN-13");
  EXPECT_EQ(a.value, "ON");
  a = std::get<Assignment>(ParseAssignment("bar / Prefix=a=b"));
  EXPECT_EQ(a.option->path.back(), "Prefix");
  EXPECT_EQ(a.value, "a=b");
  a = std::get<Assignment>(ParseAssignment("Description="));
  EXPECT_EQ(a.value, "");

  const std::string ambiguous = std::get<std::string>(ParseAssignment("Baud Rate=9600"));
  EXPECT_NE(ambiguous.find("ambiguous"), std::string::npos);
  EXPECT_NE(ambiguous.find("Bar_Decoder / Communication Parameters / RS232 / Baud Rate"), std::string::npos);
  EXPECT_NE(ambiguous.find("Magnic_Reader / Communication Parameters / RS232 / Baud Rate"), std::string::npos);
  const std::string unknown = std::get<std::string>(ParseAssignment("bar / Baud=9600"));
  EXPECT_NE(unknown.find("unknown option \"bar / Baud\""), std::string::npos);
  EXPECT_NE(unknown.find("Baud Rate"), std::string::npos) << "similar names are offered";
  EXPECT_NE(std::get<std::string>(ParseAssignment("Baud Rate")).find("NAME=VALUE"), std::string::npos);
  EXPECT_TRUE(std::holds_alternative<std::string>(ParseAssignment("=")));
  EXPECT_TRUE(std::holds_alternative<std::string>(ParseAssignment("")));
}

TEST(OptionNames, ValuesAreCheckedAgainstThePagesChoicesAndRules) {
  FileInfo info;
  ConfigImage image;
  const ImageBytes before = image.Bytes();
  const Option& baud = Named("bar / Baud Rate");
  const auto refused = SetValue(baud, "12345", info, image);
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->find("one of: 2400, 4800, 9600, 19200"), std::string::npos) << *refused;
  EXPECT_FALSE(SetValue(Named("mag / Terminal Type"), "ibm pc/xt", info, image));
  EXPECT_EQ(ShowValue(Named("mag / Terminal Type"), info, image), "IBM PC/XT");
  EXPECT_TRUE(SetValue(Named("UPC-A=EAN-13"), "yes", info, image));
  EXPECT_FALSE(SetValue(Named("UPC-A=EAN-13"), "on", info, image));

  // One-character boxes, insertion texts, truncation and separator.
  EXPECT_TRUE(SetValue(Named("Code ID / UPC-A"), "XY", info, image)->find("Allow only one character.") != std::string::npos);
  EXPECT_FALSE(SetValue(Named("Code ID / UPC-A"), "", info, image));
  EXPECT_EQ(ShowValue(Named("Code ID / UPC-A"), info, image), "");
  EXPECT_TRUE(SetValue(Named("bar / Prefix"), "ABCDE", info, image)) << "four slots";
  EXPECT_FALSE(SetValue(Named("bar / Prefix"), "AB{cr}{LF}", info, image));
  EXPECT_EQ(ShowValue(Named("bar / Prefix"), info, image), "AB{CR}{LF}");
  EXPECT_TRUE(SetValue(Named("bar / Sufix"), "A\xFF" "B", info, image)) << "255 is the empty slot";
  EXPECT_TRUE(SetValue(Named("Truncate Front Characters"), "16", info, image));
  EXPECT_FALSE(SetValue(Named("Truncate Front Characters"), " 15 ", info, image));
  EXPECT_EQ(ShowValue(Named("Truncate Front Characters"), info, image), "15");
  EXPECT_EQ(ShowValue(Named("Truncate End Characters"), info, image), "0");
  EXPECT_TRUE(SetValue(Named("Separator Character (For Dual Or Triple Tracks)"), "ab", info, image));
  EXPECT_FALSE(SetValue(Named("Separator Character (For Dual Or Triple Tracks)"), "{HT}", info, image));
  EXPECT_EQ(ShowValue(Named("Separator Character (For Dual Or Triple Tracks)"), info, image), "HT");
  EXPECT_FALSE(SetValue(Named("Separator Character (For Dual Or Triple Tracks)"), ",", info, image));
  EXPECT_EQ(image.Byte(kSeparatorByte), ',');
  EXPECT_TRUE(SetValue(Named("Track 1 Start Char"), "", info, image));
  EXPECT_FALSE(SetValue(Named("Track 1 Start Char"), "{STX}", info, image));
  EXPECT_EQ(ShowValue(Named("Track 1 Start Char"), info, image), "{STX}");
  // A text with a line break would shift every line of the file after it.
  EXPECT_TRUE(SetValue(Named("Description"), "two\r\nlines", info, image));
  EXPECT_FALSE(SetValue(Named("Description"), "one line", info, image));
  EXPECT_EQ(info.description, "one line");
  EXPECT_NE(image.Bytes(), before);
}

TEST(OptionNames, AValueNoOptionStandsForShowsAsStoredAndAnAliasAsItsOption) {
  FileInfo info;
  ConfigImage image;
  const Option& parity = Named("bar / Parity");
  WriteFieldValue(*parity.field, 4, image);
  EXPECT_EQ(ShowValue(parity, info, image), "None");
  WriteFieldValue(*parity.field, 5, image);
  EXPECT_EQ(ShowValue(parity, info, image), "(no option: stored 5)");
}

// Show, then set every option to what show printed, on a copy that holds
// other values: the same image and texts come out.
TEST(OptionNames, ShowThenSetGivesTheSameImage) {
  FileInfo info;
  info.userName = "Till 7";
  info.buildingDate = "2026-12-08";
  ConfigImage shown;
  for (const char* assignment :
       {"bar / Baud Rate=19200", "mag / Parity=Even", "Code 128 / Check Digit=Calculate Check Digit and Transmit",
        "bar / Prefix=#{STX}", "mag / Sufix / Track 2={CR}{LF}X", "Truncate End Characters=3",
        "Separator Character (For Dual Or Triple Tracks)=|", "Track 3 End Char=!", "Code ID / EAN-8=z",
        "mag / Language Selection=Japanese", "Transmission Type of Stop / C=OFF", "Track Selection=Auto"}) {
    const auto a = std::get<Assignment>(ParseAssignment(assignment));
    ASSERT_FALSE(SetValue(*a.option, a.value, info, shown)) << assignment;
  }
  std::vector<std::pair<const Option*, std::string>> lines;
  for (const Option& o : AllOptions()) lines.emplace_back(&o, ShowValue(o, info, shown));

  for (const ImageBytes& start : {kDefaultImage, ImageBytes{}}) {
    FileInfo copyInfo;
    ConfigImage copy;
    for (std::size_t i = 0; i < kImageSize; ++i) copy.SetByte(i, start[i]);
    for (const auto& [option, value] : lines) {
      const auto a = std::get<Assignment>(ParseAssignment(option->Name() + "=" + value));
      ASSERT_EQ(a.option, option);
      ASSERT_FALSE(SetValue(*a.option, a.value, copyInfo, copy)) << option->Name();
    }
    const ImageBytes bits = ShownBits();
    for (std::size_t i = 0; i < kImageSize; ++i) {
      EXPECT_EQ(copy.Byte(i) & bits[i], shown.Byte(i) & bits[i]) << "byte " << i;
    }
    EXPECT_EQ(copyInfo.userName, info.userName);
    EXPECT_EQ(copyInfo.buildingDate, info.buildingDate);
  }
}

}  // namespace
}  // namespace q5r::cli
