#include "pages/pagetables.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "pages/textrules.h"

namespace q5r {
namespace {

const PageTable* const kPages[] = {&kBarInterfacePage, &kBarCommPage, &kBarCodesPage, &kBarMiscPage,
                                   &kMagCommPage,      &kMagMiscPage, &kMagInterfacePage};

ConfigImage With(std::initializer_list<std::pair<int, int>> bytes) {
  ConfigImage image;
  for (auto [index, value] : bytes) image.SetByte(static_cast<std::size_t>(index), static_cast<std::uint8_t>(value));
  return image;
}

const Field& FieldAt(const PageTable& page, int id) {
  const Field* f = FieldOfControl(page, id);
  if (!f) throw std::logic_error("no field with control " + std::to_string(id));
  return *f;
}

int Shown(const PageTable& page, int id, std::initializer_list<std::pair<int, int>> bytes) {
  return ShownChoice(FieldAt(page, id), With(bytes));
}

TEST(PageTables, EveryPageIsFoundByItsNumberAndItsControlsAreWellFormed) {
  for (int n = 1; n <= 9; ++n) EXPECT_EQ(PageTableFor(n) != nullptr, n != 5 && n != 9) << n;
  for (const PageTable* page : kPages) {
    SCOPED_TRACE("page " + std::to_string(page->number));
    EXPECT_EQ(PageTableFor(page->number), page);
    std::set<int> ids;
    std::set<wchar_t> mnemonics;
    for (const Tab& tab : page->tabs) {
      const wchar_t m = Mnemonic(tab.caption);
      EXPECT_NE(m, 0) << "every tab has a keyboard accelerator";
      EXPECT_TRUE(mnemonics.insert(m).second) << "two tabs share an accelerator";
    }
    ImageBytes bitsUsed{};
    for (const Field& f : page->fields) {
      ASSERT_LT(f.frame, static_cast<int>(page->tabs.size()));
      ASSERT_GE(f.byte, 0);
      ASSERT_LT(f.byte, static_cast<int>(kImageSize));
      EXPECT_EQ(bitsUsed[static_cast<std::size_t>(f.byte)] & f.mask, 0) << "fields overlap at byte " << f.byte;
      bitsUsed[static_cast<std::size_t>(f.byte)] |= static_cast<std::uint8_t>(f.mask);
      for (int i = 0; i < ControlCount(f); ++i) EXPECT_TRUE(ids.insert(f.id + i).second) << f.id + i;
      // Every stored value fits the field: writing it touches no other bit.
      std::set<int> values;
      for (const Choice& c : f.choices) {
        EXPECT_TRUE(values.insert(c.value).second);
        ConfigImage image = With({{f.byte, 0}});
        WriteFieldValue(f, c.value, image);
        EXPECT_EQ(image.Byte(static_cast<std::size_t>(f.byte)) & ~f.mask, 0);
        EXPECT_EQ(FieldValue(f, image), c.value) << "value does not fit mask " << f.mask;
      }
    }
    for (const DefaultButton& b : page->defaults) {
      EXPECT_LT(b.frame, static_cast<int>(page->tabs.size()));
      EXPECT_TRUE(ids.insert(b.id).second) << b.id;
    }
  }
}

TEST(PageTables, SetDefaultButtonsGiveBackTheFactoryValuesOfTheirFieldsAndNothingElse) {
  for (const PageTable* page : kPages) {
    SCOPED_TRACE("page " + std::to_string(page->number));
    for (const DefaultButton& button : page->defaults) {
      for (int scramble : {0x00, 0xFF, 0x5A}) {
        ConfigImage image;
        for (std::size_t i = 0; i < kImageSize; ++i) image.SetByte(i, static_cast<std::uint8_t>(scramble ^ i));
        const ImageBytes before = image.Bytes();
        ApplyFrameDefaults(*page, button.frame, image);
        ImageBytes covered{};
        for (const Field& f : page->fields) {
          if (f.frame == button.frame && f.defaultValue >= 0) covered[static_cast<std::size_t>(f.byte)] |= static_cast<std::uint8_t>(f.mask);
        }
        for (std::size_t i = 0; i < kImageSize; ++i) {
          const int mask = covered[i];
          EXPECT_EQ(image.Byte(i) & mask, kDefaultImage[i] & mask) << "byte " << i;
          EXPECT_EQ(image.Byte(i) & ~mask & 0xFF, before[i] & ~mask & 0xFF) << "byte " << i;
        }
      }
    }
  }
}

TEST(PageTables, BarCommunicationDefaultsTogetherCoverTheirWholeFields) {
  ImageBytes covered{};
  for (const Field& f : kBarCommPage.fields) {
    if (f.defaultValue >= 0) covered[static_cast<std::size_t>(f.byte)] |= static_cast<std::uint8_t>(f.mask);
  }
  EXPECT_EQ(covered[16], 0x0F);
  EXPECT_EQ(covered[19], 0xFE);
  EXPECT_EQ(covered[20], 0xFF);
}

TEST(PageTables, StoredValuesWithoutAnOptionShowNoneAndAliasesShowTheirOption) {
  // Bar-code decoder.
  EXPECT_EQ(Shown(kBarInterfacePage, IDC_CFG3_IFACE, {{22, 0x21}}), 1);
  EXPECT_EQ(Shown(kBarInterfacePage, IDC_CFG3_IFACE, {{22, 0x23}}), -1);
  EXPECT_EQ(Shown(kBarCommPage, IDC_CFG4_PARITY, {{19, 252}}), 4);
  EXPECT_EQ(Shown(kBarCommPage, IDC_CFG4_PARITY, {{19, 0x40 | 0x8C}}), 4);  // 4 shows "None"
  EXPECT_EQ(Shown(kBarCommPage, IDC_CFG4_PARITY, {{19, 0x50}}), -1);
  EXPECT_EQ(Shown(kBarCommPage, IDC_CFG4_PARITY, {{19, 0x60}}), -1);
  EXPECT_EQ(Shown(kBarCommPage, IDC_CFG4_TERMINATOR, {{20, 7}}), -1);
  EXPECT_EQ(Shown(kBarCommPage, IDC_CFG4_CASE, {{19, 252}}), 1);
  for (int id : {IDC_CFG5_C39CHECK, IDC_CFG5_C128CHECK, IDC_CFG5_I25CHECK}) {
    EXPECT_EQ(Shown(kBarCodesPage, id, {{23, 0}}), 0) << "code 0 shows Do Not Calculate";
  }
  EXPECT_EQ(Shown(kBarCodesPage, IDC_CFG5_C39CHECK, {{23, 102}}), 0);
  EXPECT_EQ(Shown(kBarCodesPage, IDC_CFG5_C128CHECK, {{23, 102}}), 1);
  EXPECT_EQ(Shown(kBarCodesPage, IDC_CFG5_I25CHECK, {{23, 102}}), 0);
  EXPECT_EQ(Shown(kBarCodesPage, IDC_CFG5_C39OUTPUT, {{23, 102}}), 1);
  EXPECT_EQ(Shown(kBarCodesPage, IDC_CFG5_C39STARTSTOP, {{23, 102}}), 0);
  // Magnetic reader.
  EXPECT_EQ(Shown(kMagInterfacePage, IDC_MAG3_IFACE, {{26, 0xC0}}), 1);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_BAUD, {{28, 5}}), 5);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_BAUD, {{28, 7}}), 5);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_BAUD, {{28, 6}}), -1);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_PARITY, {{27, 0xE0}}), 4);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_PARITY, {{27, 0x80}}), 4);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_PARITY, {{27, 0xA0}}), -1);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_TERMINATOR, {{27, 7}}), 6);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_TRACKS, {{83, 12}}), 12);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_TRACKS, {{83, 15}}), 13);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_TRACKS, {{83, 13}}), -1);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_TRACKS, {{83, 14}}), -1);
  EXPECT_EQ(Shown(kMagCommPage, IDC_MAG4_CASE, {{28, 0x80}}), 1);  // the reverse of the bar-code case
}

TEST(PageTables, OpeningStoresBackOnlyTheMagneticTerminatorSeven) {
  for (const PageTable* page : kPages) {
    for (const Field& f : page->fields) {
      if (IsCheckBox(f)) continue;
      for (int value = 0; value <= f.mask >> std::countr_zero(static_cast<unsigned>(f.mask)); ++value) {
        ConfigImage image;
        WriteFieldValue(f, value, image);
        const ImageBytes before = image.Bytes();
        WriteBackOnOpen(f, image);
        if (page == &kMagCommPage && f.id == IDC_MAG4_TERMINATOR && value == 7) {
          EXPECT_EQ(image.Byte(27) & 7, 6);
        } else {
          EXPECT_EQ(image.Bytes(), before) << "page " << page->number << " control " << f.id << " value " << value;
        }
      }
    }
  }
}

TEST(PageTables, ClicksWriteTheirFieldOnly) {
  ConfigImage image = With({{19, 252}});
  WriteChoice(FieldAt(kBarCommPage, IDC_CFG4_PARITY), 2, image);  // "Even"
  EXPECT_EQ(image.Byte(19), 0xAC);
  WriteChoice(FieldAt(kBarCommPage, IDC_CFG4_PARITY), 4, image);  // "None"
  EXPECT_EQ(image.Byte(19), 252);

  image = With({{23, 102}});
  WriteChoice(FieldAt(kBarCodesPage, IDC_CFG5_C39CHECK), 2, image);  // "Calculate Check Digit and Transmit"
  EXPECT_EQ(image.Byte(23), 0xE6);

  image = With({{18, 255}});
  WriteCheck(FieldAt(kBarCodesPage, IDC_CFG5_CODABARCHARS + 5), false, image);  // start "B"
  EXPECT_EQ(image.Byte(18), 0xDF);

  image = With({{22, 0x23}});
  WriteChoice(FieldAt(kBarInterfacePage, IDC_CFG3_IFACE), 0, image);
  EXPECT_EQ(image.Byte(22), 0x20);
  image = With({{22, 0x21}});
  ApplyFrameDefaults(kBarInterfacePage, 1, image);
  EXPECT_EQ(image.Byte(22), 0x22);

  image = With({{25, 0xFF}});
  ApplyFrameDefaults(kMagInterfacePage, 1, image);
  EXPECT_EQ(image.Byte(25), 0xF5);

  image = With({{28, 0}});
  WriteChoice(FieldAt(kMagCommPage, IDC_MAG4_BAUD), 5, image);  // "9600"
  EXPECT_EQ(image.Byte(28), 7);
  WriteChoice(FieldAt(kMagCommPage, IDC_MAG4_BAUD), 4, image);  // "19200"
  EXPECT_EQ(image.Byte(28), 4);
  image = With({{27, 0}});
  WriteChoice(FieldAt(kMagCommPage, IDC_MAG4_PARITY), 4, image);
  EXPECT_EQ(image.Byte(27), 0xE0);

  image = ConfigImage();  // byte 16 = 8: 9600 baud, PC/AT
  WriteChoice(FieldAt(kBarMiscPage, IDC_LANGUAGE), 9, image);  // "Japanese"
  EXPECT_EQ(image.Byte(16), 0x98);
  WriteChoice(FieldAt(kMagMiscPage, IDC_LANGUAGE), 9, image);
  EXPECT_EQ(image.Byte(83), 0x9F);
}

TEST(PageTables, SpecialControlsKeepTheFactoryDefaults) {
  for (const CharBox& box : kCodeIdBoxes) EXPECT_EQ(box.defaultCode, kDefaultImage[static_cast<std::size_t>(box.byte)]);
  for (const CharBox& box : kTrackCharBoxes) EXPECT_EQ(box.defaultCode, kDefaultImage[static_cast<std::size_t>(box.byte)]);
  EXPECT_EQ(kSeparatorDefault, kDefaultImage[kSeparatorByte]);
  EXPECT_EQ(ControlName(kSeparatorDefault), "CR");
  // The track runs tile bytes 29..76 without gaps.
  std::set<int> slots;
  for (int t = 0; t < kTrackCount; ++t) {
    for (const SlotRun run : {TrackPrefix(t), TrackSuffix(t)}) {
      for (int i = 0; i < run.count; ++i) EXPECT_TRUE(slots.insert(run.first + i).second);
    }
  }
  EXPECT_EQ(*slots.begin(), 29);
  EXPECT_EQ(*slots.rbegin(), 76);
  EXPECT_EQ(slots.size(), 48u);
  EXPECT_EQ(kTruncationCombos[0].mask | kTruncationCombos[1].mask, 0xFF);
}

TEST(PageTables, RunsAreShownAndStoredInPlaceWithoutTouchingTheirNeighbours) {
  ConfigImage image;
  StoreRun("{cr}AB", kBarSuffix, image);
  EXPECT_EQ(image.Byte(12), 13);
  EXPECT_EQ(image.Byte(13), 'A');
  EXPECT_EQ(image.Byte(14), 'B');
  EXPECT_EQ(image.Byte(15), 255);
  EXPECT_EQ(image.Byte(16), kDefaultImage[16]);
  EXPECT_EQ(ShowRun(image, kBarSuffix), "{CR}AB");
  StoreRun("ABCDEF", kBarPrefix, image);
  EXPECT_EQ(ShowRun(image, kBarPrefix), "ABCD");
  EXPECT_EQ(image.Byte(12), 13) << "the suffix is not the prefix's overflow";

  StoreRun("0123456789", TrackPrefix(1), image);  // track 2: bytes 45..52
  EXPECT_EQ(image.Byte(44), 255);
  EXPECT_EQ(image.Byte(45), '0');
  EXPECT_EQ(image.Byte(52), '7');
  EXPECT_EQ(image.Byte(53), 255) << "no byte past the run is set";
  StoreRun("", TrackSuffix(2), image);
  for (int i = 69; i <= 76; ++i) EXPECT_EQ(image.Byte(static_cast<std::size_t>(i)), 255);
  image.SetByte(29, 2);
  image.SetByte(30, 'A');
  EXPECT_EQ(ShowRun(image, TrackPrefix(0)), "{STX}A");
}

}  // namespace
}  // namespace q5r
