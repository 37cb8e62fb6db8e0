#pragma once

#include <string>
#include <vector>

#include "platform/forms/controls.h"

class TPageControl;

// A page of a page control. Make it with its owner, then SetPageControl.
// OnShow fires whenever the page becomes visible: selected, its window first
// shown, or its window shown again with the page active. A page whose
// TabVisible is false keeps its PageIndex but has no tab and cannot be active
// through a tab.
class TTabSheet : public TWinControl {
public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;

  // Adds the page at the end (or moves it to another page control).
  void SetPageControl(TPageControl* value);

  int PageIndex() const;
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool value);
  // The page's tab position among the visible tabs, -1 without a tab.
  int TabIndex() const;

  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

  // Only the active page shows.
  bool Showing() const override;

protected:
  void CreateParams(TCreateParams& params) override;
  void ShowingChanged() override;
  void TextChanged() override;
  bool WindowVisible() const override;

private:
  friend class TPageControl;

  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
};

// Tabbed pages on the common controls' tab control.
class TPageControl : public TWinControl {
public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int index) const { return pages_.at(static_cast<std::size_t>(index)); }

  TTabSheet* ActivePage() const { return activePage_; }
  // A page of this control, or null for none. Out-of-range indexes and
  // foreign pages raise std::out_of_range / std::invalid_argument.
  void SetActivePage(TTabSheet* page);
  void SetActivePageIndex(int value);

  // After the user selected another tab.
  TNotifyEvent OnChange;

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  bool NotifyNotify(NMHDR& header, LRESULT& result) override;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  RECT AlignRect() const override;
  void BoundsChanged() override;

private:
  friend class TTabSheet;

  void InsertPage(TTabSheet* page, int index);
  void RemovePage(TTabSheet* page);
  void UpdateTabs();
  void PlacePages();
  void ShowActivePage();

  std::vector<TTabSheet*> pages_;
  TTabSheet* activePage_ = nullptr;
  bool updatingTabs_ = false;
};
