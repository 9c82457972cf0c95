#include "pages/pagetables.h"

#include <array>
#include <bit>

#include "pages/textrules.h"

namespace q5r {

namespace {

// ---- option sets shared by several groups ----

const Choice kDisableEnable[] = {{L"Disable", 0}, {L"Enable", 1}};
const Choice kOffOn[] = {{L"OFF", 0}, {L"ON", 1}};
const Choice kDataBits[] = {{L"7 Data Bits", 0}, {L"8 Data Bits", 1}};
const Choice kStopBits[] = {{L"2 Bits", 0}, {L"1 Bit", 1}};
const Choice kTerminals[] = {
    {L"IBM PC/AT,PS/2", 0}, {L"IBM PC/XT", 1}, {L"Apple Desktop Bus(ADB)", 2}, {L"NEC 9800", 3}};
const Choice kTimeOut[] = {{L"0 ms", 0}, {L"15 ms", 1}};
const Choice kNotTransmit[] = {{L"Not Transmit", 0}, {L"Transmit", 1}};
// A stored 0 (never written by a page) shows as "Do Not Calculate".
const Choice kCheckDigit[] = {{L"Do Not Calculate Check Digit", 1, 0},
                              {L"Calculate Check Digit and Not Transmit", 2},
                              {L"Calculate Check Digit and Transmit", 3}};

const Choice kLanguageChoices[] = {
    {L"US English", 0}, {L"UK English", 1}, {L"Italian", 2},    {L"Spanish", 3},
    {L"French", 4},     {L"German", 5},     {L"Swedish", 6},    {L"Switzerland", 7},
    {L"Hungarian", 8},  {L"Japanese", 9},   {L"Belgium", 10},   {L"Portuguese", 11},
    {L"Denmark", 12},   {L"Netherlands", 13}, {L"Reserved 1", 14}, {L"Reserved 2", 15}};

// ---- 1: bar-code Interface (cfg3) ----

const Tab kCfg3Tabs[] = {
    {L"&User Information", L"User's Name,building date and other informations", IDD_FRA_USERINFO, nullptr},
    {L"&Interface", L"Interface Selection and 2nd Port Input Device Selection", IDD_FRA_CFG3_IFACE, nullptr},
};
const Choice kBarInterfaces[] = {{L"Keyboard Mode", 0}, {L"USB Mode", 1}, {L"RS232 Mode", 2}};
const Field kCfg3Fields[] = {
    {IDC_CFG3_IFACE, 1, L"Interface", 22, 0x03, kBarInterfaces, 2},
    {IDC_CFG3_READMEM, 1, L"Read Memory Enable", 24, 0x01, {}, 0},
};
const DefaultButton kCfg3Defaults[] = {{IDC_CFG3_DEFAULT, 1, L"Set Default"}};

// ---- 2: bar-code Communication (cfg4) ----

const Tab kCfg4Tabs[] = {
    {L"&RS232", L"RS232 Mode Parameters", IDD_FRA_CFG4_RS232, nullptr},
    {L"&Keyboard", L"Keyboard Wedge Mode Parameters", IDD_FRA_CFG4_KEYB, nullptr},
    {L"&Output Character", L"Output Characters Parameters", IDD_FRA_CFG4_OUT, nullptr},
};
const Choice kBarBaud[] = {{L"2400", 0}, {L"4800", 1}, {L"9600", 2}, {L"19200", 3}};
// "None" stores 7; a stored 4 is shown as "None" too.
const Choice kBarParity[] = {{L"Space", 0}, {L"Mark", 1}, {L"Even", 2}, {L"Odd", 3}, {L"None", 7, 4}};
const Choice kBarCase[] = {{L"Lower Case", 0}, {L"Upper Case", 1}};
const Choice kBarTerminators[] = {{L"CR", 0},      {L"LF", 1},    {L"CR+LF", 2},
                                  {L"HT(TAB)", 3}, {L"Space", 4}, {L"STX-ETX (RS232 Mode Only)", 5},
                                  {L"None", 6}};
const Field kCfg4Fields[] = {
    {IDC_CFG4_BAUD, 0, L"Baud Rate", 16, 0x0C, kBarBaud, 2},
    {IDC_CFG4_DATABITS, 0, L"Data Bits", 19, 0x08, kDataBits, 1},
    {IDC_CFG4_STOPBITS, 0, L"Stop Bits", 19, 0x80, kStopBits, 1},
    {IDC_CFG4_PARITY, 0, L"Parity", 19, 0x70, kBarParity, 7},
    {IDC_CFG4_RTSCTS, 0, L"RTS/CTS", 20, 0x08, kDisableEnable, 0},
    {IDC_CFG4_ACKNAK, 0, L"ACK/NAK", 20, 0x10, kDisableEnable, 0},
    {IDC_CFG4_XONXOFF, 0, L"XON/XOFF", 20, 0x20, kDisableEnable, 0},
    {IDC_CFG4_TERMINAL, 1, L"Terminal Type", 16, 0x03, kTerminals, 0},
    {IDC_CFG4_CASE, 1, L"Upper/Lower Case", 19, 0x04, kBarCase, 1},
    {IDC_CFG4_ALT, 1, L"Send Characters by ALT Method", 20, 0x40, kDisableEnable, 0},
    {IDC_CFG4_NUMPAD, 1, L"Select Numerical Pad", 20, 0x80, kOffOn, 0},
    {IDC_CFG4_TERMINATOR, 2, L"Select Terminator", 20, 0x07, kBarTerminators, 2},
    {IDC_CFG4_TIMEOUT, 2, L"Time-out Between Characters", 19, 0x02, kTimeOut, 0},
};
const DefaultButton kCfg4Defaults[] = {
    {IDC_CFG4_DEFAULT1, 0, L"Set Default"},
    {IDC_CFG4_DEFAULT2, 1, L"Set Default"},
    {IDC_CFG4_DEFAULT3, 2, L"Set Default"},
};

// ---- 3: Bar Codes and Others (cfg5) ----

const Tab kCfg5Tabs[] = {
    {L"&Symboligies", L"Symboligies Selection", IDD_FRA_CFG5_SYM, L"Symboligies Selection"},
    {L"&UPC/EAN/JAN", L"UPC/EAN/JAN Parameters", IDD_FRA_CFG5_UPC, L"UPC/EAN/JAN Parameters"},
    {L"Code &39", L"Code 39 Parameters", IDD_FRA_CFG5_C39, L"Code 39 Parameters"},
    {L"Code 12&8", L"Code 128 Parameters", IDD_FRA_CFG5_C128, L"Code 128 Parameters"},
    {L"&Interleave 25", L"Interleave 25 Parameters", IDD_FRA_CFG5_I25, L"Interleave 25 Parameters"},
    {L"Coda&bar", L"CodaBar Parameters", IDD_FRA_CFG5_CODABAR, L"Codabar Parameters"},
};
const Choice kCode39Output[] = {{L"Full ASCII", 0}, {L"Standard", 1}};
const Choice kCode39StartStop[] = {{L"Not Optput ", 0}, {L"Output ", 1}};
const Field kCfg5Fields[] = {
    {IDC_CFG5_SYMBOLOGY + 0, 0, L"CodaBar/NW7", 21, 0x01, {}, 1},
    {IDC_CFG5_SYMBOLOGY + 1, 0, L"Interleave 25", 21, 0x02, {}, 1},
    {IDC_CFG5_SYMBOLOGY + 2, 0, L"Code 128", 21, 0x04, {}, 1},
    {IDC_CFG5_SYMBOLOGY + 3, 0, L"Code 39", 21, 0x08, {}, 1},
    {IDC_CFG5_SYMBOLOGY + 4, 0, L"EAN-8/JAN-8", 21, 0x10, {}, 1},
    {IDC_CFG5_SYMBOLOGY + 5, 0, L"EAN-13/JAN-13", 21, 0x20, {}, 1},
    {IDC_CFG5_SYMBOLOGY + 6, 0, L"UPC-E", 21, 0x40, {}, 1},
    {IDC_CFG5_SYMBOLOGY + 7, 0, L"UPC-A", 21, 0x80, {}, 1},
    {IDC_CFG5_UPCAEAN13, 1, L"UPC-A=EAN-13", 22, 0x80, {}, 0},
    {IDC_CFG5_ISBN, 1, L"Enable ISBN/ISSN", 22, 0x10, {}, 0},
    {IDC_CFG5_SUPPLEMENT, 1, L"Supplemental Code Setup", 22, 0x40, kNotTransmit, 0},
    {IDC_CFG5_UPCCHECK, 1, L"Check Digit", 22, 0x20, kNotTransmit, 1},
    {IDC_CFG5_C39OUTPUT, 2, L"Output As", 23, 0x02, kCode39Output, 1},
    {IDC_CFG5_C39STARTSTOP, 2, L"Start/Stop Character", 23, 0x01, kCode39StartStop, 0},
    {IDC_CFG5_C39CHECK, 2, L"Check Digit", 23, 0xC0, kCheckDigit, 1},
    {IDC_CFG5_C128CHECK, 3, L"Check Digit", 23, 0x30, kCheckDigit, 2},
    {IDC_CFG5_I25CHECK, 4, L"Check Digit", 23, 0x0C, kCheckDigit, 1},
    {IDC_CFG5_BRAZIL, 4, L"Brazil 25", 19, 0x01, {}, 0},
    {IDC_CFG5_CODABARSETUP, 5, L"Set Up Start/Stop Characters Upon Transmission", 22, 0x08, {}, 0},
    {IDC_CFG5_CODABARCHARS + 0, 5, L"A", 18, 0x01, {}, 1},  // stop characters
    {IDC_CFG5_CODABARCHARS + 1, 5, L"B", 18, 0x02, {}, 1},
    {IDC_CFG5_CODABARCHARS + 2, 5, L"C", 18, 0x04, {}, 1},
    {IDC_CFG5_CODABARCHARS + 3, 5, L"D", 18, 0x08, {}, 1},
    {IDC_CFG5_CODABARCHARS + 4, 5, L"A", 18, 0x10, {}, 1},  // start characters
    {IDC_CFG5_CODABARCHARS + 5, 5, L"B", 18, 0x20, {}, 1},
    {IDC_CFG5_CODABARCHARS + 6, 5, L"C", 18, 0x40, {}, 1},
    {IDC_CFG5_CODABARCHARS + 7, 5, L"D", 18, 0x80, {}, 1},
};
// "Clear All Barcodes" (IDC_CFG5_CLEARALL) is the page's own.
const DefaultButton kCfg5Defaults[] = {
    {IDC_CFG5_SETALL, 0, L"Set Default"},       {IDC_CFG5_DEFAULT_UPC, 1, L"Set Default"},
    {IDC_CFG5_DEFAULT_C39, 2, L"Set Default"},  {IDC_CFG5_DEFAULT_C128, 3, L"Set Default"},
    {IDC_CFG5_DEFAULT_I25, 4, L"Set Default"},  {IDC_CFG5_DEFAULT_CODABAR, 5, L"Set Default"},
};

// ---- 4: bar-code Miscellaneous (cfg6) ----

const Tab kCfg6Tabs[] = {
    {L"&Language", L"Language Selection", IDD_FRA_LANGUAGE, L"Language Selection"},
    {L"Code &ID", L"Define Bar Code ID", IDD_FRA_CFG6_CODEID, L"Code ID"},
    {L"Characters &Edit", L"Deleting and Inserting Edit For Output Characters", IDD_FRA_CFG6_EDIT,
     L"Characters Edit"},
};
const Field kCfg6Fields[] = {
    {IDC_LANGUAGE, 0, L"Language Selection", 16, 0xF0, kLanguageChoices, 0},
    {IDC_CFG6_CODEID_ENABLE, 1, L"Enable Code ID", 22, 0x04, {}, 0},
};
const DefaultButton kCfg6Defaults[] = {
    {IDC_LANGUAGE_DEFAULT, 0, L"Set Default"},
    {IDC_CFG6_CODEID_DEFAULT, 1, L"Set Default"},  // the page also puts back the code IDs
};

// ---- 8: magnetic Interface (magcfg3) ----

const Tab kMag3Tabs[] = {
    {L"&User Informations", L"User's Name,building date and other informations", IDD_FRA_USERINFO, nullptr},
    {L"&Interface", L"Interface and Code ID Selection", IDD_FRA_MAG3_IFACE, nullptr},
};
// A stored 3 has no option of its own and shows as "USB Mode".
const Choice kMagInterfaces[] = {{L"Keyboard Mode", 0}, {L"USB Mode", 1, 3}, {L"RS232 Mode", 2}};
const Field kMag3Fields[] = {
    {IDC_MAG3_IFACE, 1, L"Interface ", 26, 0xC0, kMagInterfaces, 0},
    {IDC_MAG3_NOTEBOOK, 1, L"Disable  External Keyboard", 25, 0x08, {}, 0},
    {IDC_MAG3_MSRMEM, 1, L"Read Memory Enable", 25, 0x02, {}, 0},
};
const DefaultButton kMag3Defaults[] = {{IDC_MAG3_DEFAULT, 1, L"Set Default"}};

// ---- 6: magnetic Communication (magcfg4) ----

const Tab kMag4Tabs[] = {
    {L"&RS232", L"RS232 Mode Parameters", IDD_FRA_MAG4_RS232, nullptr},
    {L"&Keyboard", L"Keyboard Wedge Mode Parameters", IDD_FRA_MAG4_KEYB, nullptr},
    {L"&Output Characters", L"Output Characters Parameters", IDD_FRA_MAG4_OUT, nullptr},
    {L"&Magnetic Reader", L"Magnetic Reader Parameters", IDD_FRA_MAG4_MAG, nullptr},
};
// "9600" stores 7 and is also shown for 5; "None" stores 7 and is also
// shown for 4; a terminator 7 shows as "None" and is stored as 6 on opening.
const Choice kMagBaud[] = {{L"600", 0},  {L"1200", 1},  {L"2400", 2},
                           {L"4800", 3}, {L"19200", 4}, {L"9600", 7, 5}};
const Choice kMagParity[] = {{L"Space", 0}, {L"Mark", 1}, {L"Even", 2}, {L"Odd", 3}, {L"None", 7, 4}};
const Choice kMagCase[] = {{L"Upper Case", 0}, {L"Lower Case", 1}};
const Choice kMagTerminators[] = {{L"CR", 0},      {L"LF", 1},    {L"CR+LF", 2},
                                  {L"HT(TAB)", 3}, {L"Space", 4}, {L"STX-ETX (RS232 Only)", 5},
                                  {L"None", 6, 7, true}};
const Choice kCardStandards[] = {{L"ISO", 0}, {L"JIS2", 1}};
const Choice kTrackSelections[] = {
    {L"Single Track", 0},     {L"Track 1 Only", 1},    {L"Track 2 Only", 2},     {L"Track 3 Only", 3},
    {L"Track (1-2/3-2)", 4},  {L"Track(2-1/3-1)", 5},  {L"Track 1-2-3", 6},      {L"Track1-3-2", 7},
    {L"Track 2-1-3", 8},      {L"Track 2-3-1", 9},     {L"Track 3-1-2", 10},     {L"Track 3-2-1", 11},
    {L"Auto", 12},            {L"Any", 15}};
const Field kMag4Fields[] = {
    {IDC_MAG4_BAUD, 0, L"Baud Rate", 28, 0x07, kMagBaud, 7},
    {IDC_MAG4_DATABITS, 0, L"Data Bits", 26, 0x20, kDataBits, 1},
    {IDC_MAG4_STOPBITS, 0, L"Stop Bit", 26, 0x10, kStopBits, 1},
    {IDC_MAG4_PARITY, 0, L"Parity", 27, 0xE0, kMagParity, 7},
    {IDC_MAG4_RTSCTS, 0, L"RTS/CTS", 27, 0x10, kDisableEnable, 0},
    {IDC_MAG4_ACKNAK, 0, L"ACK/NAK", 27, 0x08, kDisableEnable, 0},
    {IDC_MAG4_XONXOFF, 0, L"XON/XOFF", 26, 0x08, kDisableEnable, 0},
    {IDC_MAG4_TERMINAL, 1, L"Terminal Type", 26, 0x03, kTerminals, 0},
    {IDC_MAG4_CASE, 1, L"Upper/Lower Case", 28, 0x80, kMagCase, 0},
    {IDC_MAG4_ALT, 1, L"Send Characters by ALT Method", 28, 0x20, kDisableEnable, 0},
    {IDC_MAG4_NUMPAD, 1, L"Select Numerical Pad", 28, 0x40, kOffOn, 0},
    {IDC_MAG4_TERMINATOR, 2, L"Select Terminator", 27, 0x07, kMagTerminators, 2},
    {IDC_MAG4_TIMEOUT, 2, L"Time-out Between Characters", 26, 0x04, kTimeOut, 0},
    {IDC_MAG4_TRACKS, 3, L"Track Selection", 83, 0x0F, kTrackSelections, 15},
    {IDC_MAG4_STARTSTOP, 3, L"ON", 28, 0x10, {}, 1},
    {IDC_MAG4_ACCOUNT, 3, L"ON", 28, 0x08, {}, 0},
    {IDC_MAG4_STANDARD, 3, L"Select Magnetic Card Standard :", kCardStandardByte, kCardStandardMask,
     kCardStandards, 0},
};
// The last tab's button also puts back the separator (the page's own control).
const DefaultButton kMag4Defaults[] = {
    {IDC_MAG4_DEFAULT1, 0, L"Set Default"},
    {IDC_MAG4_DEFAULT2, 1, L"Set Default"},
    {IDC_MAG4_DEFAULT3, 2, L"Set Default"},
    {IDC_MAG4_DEFAULT4, 3, L"Set Default"},
};

// ---- 7: magnetic Miscellaneous (magcfg6) ----

const Tab kMag6Tabs[] = {
    {L"&Language", L"Language Selection", IDD_FRA_LANGUAGE, L"Language Selection"},
    {L"Tracks &Edit", L"Deleting and Inserting Edit For Output Characters", IDD_FRA_MAG6_TRACKS,
     L"Tracks Edit"},
    {L"Start and End &Char", L"Defined User's Start and End Characters", IDD_FRA_MAG6_CHARS,
     L"Edit Start and End Characters"},
};
const Field kMag6Fields[] = {
    {IDC_LANGUAGE, 0, L"Language Selection", 83, 0xF0, kLanguageChoices, 0},
};
// "Set All Default" of the last tab (start and end characters) is the page's own.
const DefaultButton kMag6Defaults[] = {{IDC_LANGUAGE_DEFAULT, 0, L"Set Default"}};

int Shift(int mask) { return std::countr_zero(static_cast<unsigned>(mask)); }

}  // namespace

const wchar_t* const kLanguages[kLanguageCount] = {
    L"US English", L"UK English", L"Italian",  L"Spanish",  L"French",     L"German",
    L"Swedish",    L"Switzerland", L"Hungarian", L"Japanese", L"Belgium",  L"Portuguese",
    L"Denmark",    L"Netherlands", L"Reserved 1", L"Reserved 2"};

const CharBox kCodeIdBoxes[8] = {
    {IDC_CFG6_CODEID + 0, L"UPC-A", 0, 'A'},         {IDC_CFG6_CODEID + 1, L"UPC-E", 1, 'B'},
    {IDC_CFG6_CODEID + 2, L"EAN-13", 2, 'C'},        {IDC_CFG6_CODEID + 3, L"EAN-8", 3, 'D'},
    {IDC_CFG6_CODEID + 4, L"Code 39", 4, 'E'},       {IDC_CFG6_CODEID + 5, L"Code 128", 5, 'F'},
    {IDC_CFG6_CODEID + 6, L"Interleave 25", 6, 'G'}, {IDC_CFG6_CODEID + 7, L"CodaBar/NW7", 7, 'H'},
};

const CharBox kTrackCharBoxes[6] = {
    {IDC_MAG6_CHAR + 0, L"Track 1 Start Char:", 77, '%'}, {IDC_MAG6_CHAR + 1, L"Track 1 End Char:", 78, '?'},
    {IDC_MAG6_CHAR + 2, L"Track 2 Start Char:", 79, ';'}, {IDC_MAG6_CHAR + 3, L"Track 2 End Char:", 80, '?'},
    {IDC_MAG6_CHAR + 4, L"Track 3 Start Char:", 81, '+'}, {IDC_MAG6_CHAR + 5, L"Track 3 End Char:", 82, '?'},
};

const TruncationCombo kTruncationCombos[2] = {
    {IDC_CFG6_TRUNC_FRONT, L"Truncate Front Characters", 0xF0},
    {IDC_CFG6_TRUNC_END, L"Truncate End Characters", 0x0F},
};

const PageTable kBarInterfacePage{1, kCfg3Tabs, kCfg3Fields, kCfg3Defaults};
const PageTable kBarCommPage{2, kCfg4Tabs, kCfg4Fields, kCfg4Defaults};
const PageTable kBarCodesPage{3, kCfg5Tabs, kCfg5Fields, kCfg5Defaults};
const PageTable kBarMiscPage{4, kCfg6Tabs, kCfg6Fields, kCfg6Defaults};
const PageTable kMagCommPage{6, kMag4Tabs, kMag4Fields, kMag4Defaults};
const PageTable kMagMiscPage{7, kMag6Tabs, kMag6Fields, kMag6Defaults};
const PageTable kMagInterfacePage{8, kMag3Tabs, kMag3Fields, kMag3Defaults};

const PageTable* PageTableFor(int number) {
  for (const PageTable* page : {&kBarInterfacePage, &kBarCommPage, &kBarCodesPage, &kBarMiscPage,
                                &kMagCommPage, &kMagMiscPage, &kMagInterfacePage}) {
    if (page->number == number) return page;
  }
  return nullptr;
}

const Field* FieldOfControl(const PageTable& page, int id, int* index) {
  for (const Field& f : page.fields) {
    if (id >= f.id && id < f.id + ControlCount(f)) {
      if (index) *index = id - f.id;
      return &f;
    }
  }
  return nullptr;
}

int FieldValue(const Field& f, const ConfigImage& image) {
  return image.GetBits(f.byte, f.mask) >> Shift(f.mask);
}

void WriteFieldValue(const Field& f, int value, ConfigImage& image) {
  image.SetBits(f.byte, f.mask, (value << Shift(f.mask)) & f.mask);
}

int ShownChoice(const Field& f, const ConfigImage& image) {
  const int value = FieldValue(f, image);
  for (std::size_t i = 0; i < f.choices.size(); ++i) {
    if (f.choices[i].value == value || f.choices[i].alias == value) return static_cast<int>(i);
  }
  return -1;
}

void WriteChoice(const Field& f, int index, ConfigImage& image) {
  WriteFieldValue(f, f.choices[static_cast<std::size_t>(index)].value, image);
}

void WriteCheck(const Field& f, bool checked, ConfigImage& image) {
  WriteFieldValue(f, checked ? 1 : 0, image);
}

void WriteBackOnOpen(const Field& f, ConfigImage& image) {
  const int shown = ShownChoice(f, image);
  if (shown < 0) return;
  const Choice& choice = f.choices[static_cast<std::size_t>(shown)];
  if (choice.aliasRewritten && FieldValue(f, image) == choice.alias) WriteFieldValue(f, choice.value, image);
}

void ApplyFrameDefaults(const PageTable& page, int frame, ConfigImage& image) {
  for (const Field& f : page.fields) {
    if (f.frame == frame && f.defaultValue >= 0) WriteFieldValue(f, f.defaultValue, image);
  }
}

std::string ShowRun(const ConfigImage& image, SlotRun run) {
  std::array<std::uint8_t, kTrackSlots> slots{};
  for (int i = 0; i < run.count; ++i) slots.at(static_cast<std::size_t>(i)) = image.Byte(static_cast<std::size_t>(run.first + i));
  return SlotsToText(std::span(slots.data(), static_cast<std::size_t>(run.count)));
}

void StoreRun(std::string_view text, SlotRun run, ConfigImage& image) {
  std::array<std::uint8_t, kTrackSlots> slots{};
  TextToSlots(text, std::span(slots.data(), static_cast<std::size_t>(run.count)));
  for (int i = 0; i < run.count; ++i) image.SetByte(static_cast<std::size_t>(run.first + i), slots.at(static_cast<std::size_t>(i)));
}

}  // namespace q5r
