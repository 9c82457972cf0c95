// The option pages as data: their tabs, and every option group and check box
// with the image field it edits, the value each option stores, the value it
// is also shown for, and the value the "Set Default" button of its tab gives.
// The page windows are built on these tables and the tests read them too.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "image.h"
#include "pages/pages_resource.h"

namespace q5r {

// One option button of a group.
struct Choice {
  const wchar_t* caption;
  int value;                    // the field's value (unshifted) it stores
  int alias = -1;               // another stored value that also selects it
  bool aliasRewritten = false;  // opening the page stores `value` over `alias`
};

// An option group (choices) or a check box (no choices: checked stores 1).
struct Field {
  int id;                 // the check box, or the first option (IDs consecutive)
  int frame;              // tab index, 0-based
  const wchar_t* caption; // group caption, or the check box's own caption
  int byte;
  int mask;
  std::span<const Choice> choices;
  int defaultValue;       // given by the tab's "Set Default" button; -1 = not covered
};

struct Tab {
  const wchar_t* caption;
  const wchar_t* tip;
  int frameTemplate;
  const wchar_t* frameCaption;  // the box around the whole frame, nullptr = none
};

struct DefaultButton {
  int id;
  int frame;
  const wchar_t* caption;
};

struct PageTable {
  int number;  // OpenPage number
  std::span<const Tab> tabs;
  std::span<const Field> fields;
  std::span<const DefaultButton> defaults;
};

extern const PageTable kBarInterfacePage;      // 1 cfg3
extern const PageTable kBarCommPage;           // 2 cfg4
extern const PageTable kBarCodesPage;          // 3 cfg5
extern const PageTable kBarMiscPage;           // 4 cfg6
extern const PageTable kMagCommPage;           // 6 magcfg4
extern const PageTable kMagMiscPage;           // 7 magcfg6
extern const PageTable kMagInterfacePage;      // 8 magcfg3

// The table of page `number`, nullptr for the windows that are no pages.
const PageTable* PageTableFor(int number);

// ---- fields ----

inline bool IsCheckBox(const Field& f) { return f.choices.empty(); }
// Number of controls (and IDs) the field takes.
inline int ControlCount(const Field& f) { return IsCheckBox(f) ? 1 : static_cast<int>(f.choices.size()); }
// The field whose control has ID `id`, and its option index in `index`.
const Field* FieldOfControl(const PageTable& page, int id, int* index = nullptr);

int FieldValue(const Field& f, const ConfigImage& image);  // shifted down
// Stores `value` (unshifted) into the field.
void WriteFieldValue(const Field& f, int value, ConfigImage& image);
// The option shown for what the image holds, or -1 when no option matches
// (such a value is left alone until the user picks an option).
int ShownChoice(const Field& f, const ConfigImage& image);
// Clicking option `index` of a group, or setting a check box to `checked`.
void WriteChoice(const Field& f, int index, ConfigImage& image);
void WriteCheck(const Field& f, bool checked, ConfigImage& image);
// What opening the page writes back for this field: only an alias that the
// field stores over (a stored terminator 7 on the magnetic page becomes 6).
void WriteBackOnOpen(const Field& f, ConfigImage& image);
// The "Set Default" button of `frame`: every field of the frame that has a
// default gets it.
void ApplyFrameDefaults(const PageTable& page, int frame, ConfigImage& image);

// ---- the special controls of the Miscellaneous and Communication pages ----

inline constexpr int kLanguageCount = 16;
extern const wchar_t* const kLanguages[kLanguageCount];

struct CharBox {  // a one-character box: code ID, or a track's start or end
  int id;
  const wchar_t* label;
  int byte;
  std::uint8_t defaultCode;
};
extern const CharBox kCodeIdBoxes[8];
extern const CharBox kTrackCharBoxes[6];

struct TruncationCombo {
  int id;
  const wchar_t* label;
  int mask;  // of byte 17
};
inline constexpr int kTruncationByte = 17;
extern const TruncationCombo kTruncationCombos[2];

// A run of insertion slots.
struct SlotRun {
  int first;
  int count;
};
inline constexpr SlotRun kBarPrefix{8, 4};
inline constexpr SlotRun kBarSuffix{12, 4};
inline constexpr int kTrackCount = 3;
inline constexpr int kTrackSlots = 8;
// Track `track` (0..2): its prefix run and its suffix run.
inline constexpr SlotRun TrackPrefix(int track) { return {29 + 16 * track, kTrackSlots}; }
inline constexpr SlotRun TrackSuffix(int track) { return {37 + 16 * track, kTrackSlots}; }

// A run as its insertion text, and an insertion text stored into a run.
std::string ShowRun(const ConfigImage& image, SlotRun run);
void StoreRun(std::string_view text, SlotRun run, ConfigImage& image);

inline constexpr int kSeparatorByte = 84;
inline constexpr std::uint8_t kSeparatorDefault = 13;  // CR
// Byte 25 bit 0 selects JIS2, which has no track choice.
inline constexpr int kCardStandardByte = 25, kCardStandardMask = 0x01;

}  // namespace q5r
