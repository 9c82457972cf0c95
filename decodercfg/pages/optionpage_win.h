// The frame shared by every option page: an MDI child that hosts a child
// dialog with the tab strip and one frame dialog per tab, sized to the
// largest frame. The page's table drives loading, the option and check box
// clicks and the "Set Default" buttons; a page class adds only what is its
// own through the hooks below.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "childwindow_win.h"
#include "pages/pagetables.h"

namespace q5r {

class ConfigImage;

class OptionPage : public ChildWindow {
 public:
  OptionPage(const ChildContext& context, const PageTable& table);
  bool PreTranslate(MSG& msg) override;

 protected:
  // After the table's fields are shown: the page's own controls.
  virtual void LoadOwnControls() {}
  // After a click wrote field `f`.
  virtual void AfterChange(const Field& f) { (void)f; }
  // After the "Set Default" button of `frame` reset the table's fields.
  virtual void AfterDefaults(int frame) { (void)frame; }
  // Every other notification from a control.
  virtual void OnControl(int id, int code, HWND control) { (void)id, (void)code, (void)control; }

  ConfigImage& image() const;
  HWND Item(int id) const;  // a control of any frame
  HWND Owner() const;       // the top-level window, for message boxes
  std::wstring TextOf(int id) const;
  // Sets a control's text without running the page's change handling.
  void SetQuietText(int id, const std::wstring& text);
  void ShowField(const Field& f);
  void MarkTabStop(const Field& f, int checked);

  // While alive, notifications are the page's own doing and are ignored.
  class Quiet {
   public:
    explicit Quiet(OptionPage& page) : page_(page) { ++page_.quiet_; }
    ~Quiet() { --page_.quiet_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

   private:
    OptionPage& page_;
  };

 private:
  void CreateContent() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  void Command(int id, int code, HWND control);
  void Layout();
  void Load();
  void ShowFrame(int index);   // the "Tabbed pages" rule
  void ChooseTab(int index);   // by keyboard: selects the tab as a click would

  const PageTable& table_;
  HWND dialog_ = nullptr;
  HWND tabs_ = nullptr;
  std::vector<HWND> frames_;
  int shownFrame_ = 0;
  int quiet_ = 0;
};

}  // namespace q5r
