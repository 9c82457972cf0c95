#include "pages/pagewindows_win.h"

#include <bit>
#include <string>

#include "msgbox_win.h"
#include "pages/controlkey_win.h"
#include "pages/optionpage_win.h"
#include "pages/textrules.h"
#include "resource.h"
#include "session.h"
#include "text_win.h"

namespace q5r {

namespace {

using kit::FromAnsi;
using kit::ToAnsi;

std::wstring CharText(std::uint8_t code) { return FromAnsi(std::string(1, static_cast<char>(code))); }

// ---- Interface pages (1 and 8): the table's fields and the user information ----

class InterfacePage : public OptionPage {
 public:
  using OptionPage::OptionPage;

 private:
  struct TextField {
    int id;
    std::string FileInfo::*text;
  };
  static constexpr TextField kTexts[] = {{IDC_TXT_DEVICENAME, &FileInfo::deviceName},
                                         {IDC_TXT_USERNAME, &FileInfo::userName},
                                         {IDC_TXT_DATE, &FileInfo::buildingDate},
                                         {IDC_TXT_DESCRIPTION, &FileInfo::description}};

  void LoadOwnControls() override {
    for (const TextField& t : kTexts) SetQuietText(t.id, FromAnsi(context().session.file.*t.text));
  }
  // Every keystroke goes into the file's texts, which are not part of the image.
  void OnControl(int id, int code, HWND) override {
    if (code != EN_CHANGE) return;
    for (const TextField& t : kTexts) {
      if (t.id == id) context().session.file.*t.text = ToAnsi(TextOf(id));
    }
  }
};

// ---- 3: Bar Codes and Others ----

class BarCodesPage : public OptionPage {
 public:
  using OptionPage::OptionPage;

 private:
  static constexpr int kSymbologyByte = 21;  // "Clear All Barcodes" clears its eight boxes

  void OnControl(int id, int code, HWND) override {
    if (id != IDC_CFG5_CLEARALL || code != BN_CLICKED) return;
    for (const Field& f : kBarCodesPage.fields) {
      if (f.byte == kSymbologyByte) {
        WriteCheck(f, false, image());
        ShowField(f);
      }
    }
  }
};

// ---- 4: bar-code Miscellaneous ----

class BarMiscPage : public OptionPage {
 public:
  using OptionPage::OptionPage;

  HWND InsertionBox(bool prefix) const override { return Item(prefix ? IDC_CFG6_PREFIX : IDC_CFG6_SUFFIX); }

 private:
  static constexpr int kTruncationChoices = 10;  // the list offers 0..9

  void LoadOwnControls() override {
    // Code IDs: a control character is shown as itself, and what the box
    // then holds is stored back (a control character becomes 0).
    for (const CharBox& box : kCodeIdBoxes) {
      SetQuietText(box.id, FromAnsi(CodeIdText(image().Byte(static_cast<std::size_t>(box.byte)))));
      image().SetByte(static_cast<std::size_t>(box.byte), ReadCodeId(ToAnsi(TextOf(box.id))).code);
    }
    for (const TruncationCombo& combo : kTruncationCombos) {
      HWND item = Item(combo.id);
      for (int n = 0; n < kTruncationChoices; ++n) {
        SendMessageW(item, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(n).c_str()));
      }
      ShowTruncation(combo);
    }
    // Prefix and suffix: shown as insertion texts and stored back at once.
    for (auto [id, run] : {std::pair{IDC_CFG6_PREFIX, kBarPrefix}, std::pair{IDC_CFG6_SUFFIX, kBarSuffix}}) {
      SetQuietText(id, FromAnsi(ShowRun(image(), run)));
      StoreRun(ToAnsi(TextOf(id)), run, image());
    }
  }

  void ShowTruncation(const TruncationCombo& combo) {
    Quiet quiet(*this);
    const int n = image().GetBits(kTruncationByte, combo.mask) >> std::countr_zero(static_cast<unsigned>(combo.mask));
    HWND item = Item(combo.id);
    if (n < kTruncationChoices) {
      SendMessageW(item, CB_SETCURSEL, static_cast<WPARAM>(n), 0);
    } else {
      SendMessageW(item, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
      SetWindowTextW(item, std::to_wstring(n).c_str());
    }
  }

  void WriteTruncation(const TruncationCombo& combo, int n) {
    image().SetBits(kTruncationByte, combo.mask, n << std::countr_zero(static_cast<unsigned>(combo.mask)));
  }

  static constexpr int kCodeIdFrame = 1;  // its "Set Default" also puts back the code IDs

  void AfterDefaults(int frame) override {
    if (frame != kCodeIdFrame) return;
    for (const CharBox& box : kCodeIdBoxes) {
      SetQuietText(box.id, CharText(box.defaultCode));
      image().SetByte(static_cast<std::size_t>(box.byte), box.defaultCode);
    }
  }

  void OnControl(int id, int code, HWND control) override {
    for (const CharBox& box : kCodeIdBoxes) {
      if (box.id == id && code == EN_CHANGE) return CodeIdChanged(box, control);
    }
    for (const TruncationCombo& combo : kTruncationCombos) {
      if (combo.id != id) continue;
      if (code == CBN_SELCHANGE) {
        const auto chosen = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
        if (chosen >= 0) WriteTruncation(combo, chosen);
      } else if (code == CBN_EDITCHANGE) {
        // Text that is no number 0..15 leaves the field as it was.
        if (const auto n = ParseTruncation(ToAnsi(kit::WindowText(control)))) WriteTruncation(combo, *n);
      }
      return;
    }
    if (code == EN_CHANGE && (id == IDC_CFG6_PREFIX || id == IDC_CFG6_SUFFIX)) {
      StoreRun(ToAnsi(TextOf(id)), id == IDC_CFG6_PREFIX ? kBarPrefix : kBarSuffix, image());
      return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
      case IDC_CFG6_PREFIX_CLEAR:
      case IDC_CFG6_SUFFIX_CLEAR: {
        const bool prefix = id == IDC_CFG6_PREFIX_CLEAR;
        StoreRun("", prefix ? kBarPrefix : kBarSuffix, image());
        SetQuietText(prefix ? IDC_CFG6_PREFIX : IDC_CFG6_SUFFIX, L"");
        break;
      }
      case IDC_CFG6_TRUNC_CLEAR:
        for (const TruncationCombo& combo : kTruncationCombos) {
          WriteTruncation(combo, 0);
          ShowTruncation(combo);
        }
        break;
      case IDC_CFG6_PREFIX_KEYS:
      case IDC_CFG6_SUFFIX_KEYS:
        if (HWND box = RunControlKeyDialog(context(), hwnd(), id == IDC_CFG6_PREFIX_KEYS)) SetFocus(box);
        break;
      default:
        break;
    }
  }

  void CodeIdChanged(const CharBox& box, HWND control) {
    const CodeIdInput input = ReadCodeId(ToAnsi(kit::WindowText(control)));
    image().SetByte(static_cast<std::size_t>(box.byte), input.code);
    if (input.tooLong) {
      kit::ShowMessage(Owner(), L"Allow only one character.", L"Decoder Configuration Setup", MB_OK);
      SetQuietText(box.id, L"");
    }
  }
};

// ---- 6: magnetic Communication ----

class MagCommPage : public OptionPage {
 public:
  using OptionPage::OptionPage;

 private:
  void LoadOwnControls() override {
    HWND combo = Item(IDC_MAG4_SEPARATOR);
    for (int code = 0; code < kControlCount; ++code) {
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromAnsi(ControlName(code)).c_str()));
    }
    ShowSeparator();
    ShowCardStandard();
  }

  void ShowSeparator() {
    Quiet quiet(*this);
    HWND combo = Item(IDC_MAG4_SEPARATOR);
    const std::uint8_t separator = image().Byte(kSeparatorByte);
    if (separator < kControlCount) {
      SendMessageW(combo, CB_SETCURSEL, separator, 0);
    } else {
      SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
      SetWindowTextW(combo, CharText(separator).c_str());
    }
  }

  // JIS2 has no track choice: its controls are greyed, keeping their values.
  void ShowCardStandard() {
    const bool iso = image().GetBits(kCardStandardByte, kCardStandardMask) == 0;
    for (int id : {IDC_MAG4_TRACKS_FRAME, IDC_MAG4_ACCOUNT_FRAME, IDC_MAG4_ACCOUNT, IDC_MAG4_SEPARATOR_LABEL,
                   IDC_MAG4_SEPARATOR}) {
      EnableWindow(Item(id), iso);
    }
    const Field& tracks = *FieldOfControl(kMagCommPage, IDC_MAG4_TRACKS);
    for (int i = 0; i < ControlCount(tracks); ++i) EnableWindow(Item(tracks.id + i), iso);
  }

  void AfterChange(const Field& f) override {
    if (f.id == IDC_MAG4_STANDARD) ShowCardStandard();
  }

  static constexpr int kMagReaderFrame = 3;  // its "Set Default" also puts back the separator

  void AfterDefaults(int frame) override {
    if (frame != kMagReaderFrame) return;
    image().SetByte(kSeparatorByte, kSeparatorDefault);
    ShowSeparator();
    ShowCardStandard();
  }

  void OnControl(int id, int code, HWND control) override {
    if (id != IDC_MAG4_SEPARATOR || (code != CBN_SELCHANGE && code != CBN_EDITCHANGE)) return;
    const auto chosen = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
    if (const auto b = SeparatorByte(chosen, ToAnsi(kit::WindowText(control)))) image().SetByte(kSeparatorByte, *b);
  }
};

// ---- 7: magnetic Miscellaneous ----

class MagMiscPage : public OptionPage {
 public:
  using OptionPage::OptionPage;

  HWND InsertionBox(bool prefix) const override { return Item(prefix ? IDC_MAG6_PREFIX : IDC_MAG6_SUFFIX); }

 private:
  int prefixTrack_ = 0;
  int suffixTrack_ = 0;

  SlotRun PrefixRun() const { return TrackPrefix(prefixTrack_); }
  SlotRun SuffixRun() const { return TrackSuffix(suffixTrack_); }

  void LoadOwnControls() override {
    CheckRadioButton(GetParent(Item(IDC_MAG6_PREFIX_TRACK)), IDC_MAG6_PREFIX_TRACK, IDC_MAG6_PREFIX_TRACK + 2,
                     IDC_MAG6_PREFIX_TRACK);
    CheckRadioButton(GetParent(Item(IDC_MAG6_SUFFIX_TRACK)), IDC_MAG6_SUFFIX_TRACK, IDC_MAG6_SUFFIX_TRACK + 2,
                     IDC_MAG6_SUFFIX_TRACK);
    ShowRunIn(IDC_MAG6_PREFIX, PrefixRun());
    ShowRunIn(IDC_MAG6_SUFFIX, SuffixRun());
    for (const CharBox& box : kTrackCharBoxes) {
      SetQuietText(box.id, CharText(image().Byte(static_cast<std::size_t>(box.byte))));
    }
  }

  // Showing a run stores it back, so bytes after its first 255 become 255.
  void ShowRunIn(int id, SlotRun run) {
    SetQuietText(id, FromAnsi(ShowRun(image(), run)));
    StoreRun(ToAnsi(TextOf(id)), run, image());
  }

  void OnControl(int id, int code, HWND control) override {
    if (code == EN_CHANGE) {
      if (id == IDC_MAG6_PREFIX) StoreRun(ToAnsi(TextOf(id)), PrefixRun(), image());
      if (id == IDC_MAG6_SUFFIX) StoreRun(ToAnsi(TextOf(id)), SuffixRun(), image());
      for (const CharBox& box : kTrackCharBoxes) {
        if (box.id == id) TrackCharChanged(box, control);
      }
      return;
    }
    if (code != BN_CLICKED) return;
    const bool checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (id >= IDC_MAG6_PREFIX_TRACK && id < IDC_MAG6_PREFIX_TRACK + kTrackCount && checked) {
      prefixTrack_ = id - IDC_MAG6_PREFIX_TRACK;
      ShowRunIn(IDC_MAG6_PREFIX, PrefixRun());
    } else if (id >= IDC_MAG6_SUFFIX_TRACK && id < IDC_MAG6_SUFFIX_TRACK + kTrackCount && checked) {
      suffixTrack_ = id - IDC_MAG6_SUFFIX_TRACK;
      ShowRunIn(IDC_MAG6_SUFFIX, SuffixRun());
    } else if (id == IDC_MAG6_PREFIX_CLEAR || id == IDC_MAG6_SUFFIX_CLEAR) {
      const bool prefix = id == IDC_MAG6_PREFIX_CLEAR;
      StoreRun("", prefix ? PrefixRun() : SuffixRun(), image());
      SetQuietText(prefix ? IDC_MAG6_PREFIX : IDC_MAG6_SUFFIX, L"");
    } else if (id == IDC_MAG6_PREFIX_KEYS || id == IDC_MAG6_SUFFIX_KEYS) {
      if (HWND box = RunControlKeyDialog(context(), hwnd(), id == IDC_MAG6_PREFIX_KEYS)) SetFocus(box);
    } else if (id == IDC_MAG6_CHAR_DEFAULT) {
      for (const CharBox& box : kTrackCharBoxes) {
        image().SetByte(static_cast<std::size_t>(box.byte), box.defaultCode);
        SetQuietText(box.id, CharText(box.defaultCode));
      }
    }
  }

  // One character is stored; more are cut to the first; an empty box stores nothing.
  void TrackCharChanged(const CharBox& box, HWND control) {
    const std::wstring text = kit::WindowText(control);
    if (text.empty()) return;
    if (text.size() > 1) {
      SetWindowTextW(control, text.substr(0, 1).c_str());  // runs this again with one character
      SendMessageW(control, EM_SETSEL, 1, 1);
      return;
    }
    const std::string ansi = ToAnsi(text);
    if (!ansi.empty()) image().SetByte(static_cast<std::size_t>(box.byte), static_cast<std::uint8_t>(ansi[0]));
  }
};

}  // namespace

std::unique_ptr<ChildWindow> MakePageWindow(const ChildContext& context, int number) {
  const PageTable* table = PageTableFor(number);
  if (!table) return nullptr;
  switch (number) {
    case 1:
    case 8: return std::make_unique<InterfacePage>(context, *table);
    case 3: return std::make_unique<BarCodesPage>(context, *table);
    case 4: return std::make_unique<BarMiscPage>(context, *table);
    case 6: return std::make_unique<MagCommPage>(context, *table);
    case 7: return std::make_unique<MagMiscPage>(context, *table);
    default: return std::make_unique<OptionPage>(context, *table);
  }
}

}  // namespace q5r
