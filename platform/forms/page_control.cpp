#include "platform/forms/page_control.h"

#include <algorithm>
#include <stdexcept>

#include <commctrl.h>

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) {}

TTabSheet::~TTabSheet()
{
  if (pageControl_ != nullptr)
    pageControl_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* value)
{
  if (value == pageControl_)
    return;
  if (pageControl_ != nullptr)
    pageControl_->RemovePage(this);
  pageControl_ = value;
  if (value != nullptr)
    value->InsertPage(this, value->PageCount());
  SetParent(value);
  if (value != nullptr)
    value->PlacePages();
}

int TTabSheet::PageIndex() const
{
  if (pageControl_ == nullptr)
    return -1;
  const auto& pages = pageControl_->pages_;
  return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::SetTabVisible(bool value)
{
  if (value == tabVisible_)
    return;
  tabVisible_ = value;
  if (pageControl_ != nullptr)
    pageControl_->UpdateTabs();
}

int TTabSheet::TabIndex() const
{
  if (pageControl_ == nullptr || !tabVisible_)
    return -1;
  int index = 0;
  for (TTabSheet* page : pageControl_->pages_) {
    if (page == this)
      return index;
    if (page->tabVisible_)
      ++index;
  }
  return -1;
}

void TTabSheet::CreateParams(TCreateParams& params)
{
  params.ClassName = PlainWindowClass();
  params.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  params.ExStyle = WS_EX_CONTROLPARENT;
}

void TTabSheet::ShowingChanged()
{
  if (Showing()) {
    if (OnShow)
      OnShow(this);
  } else if (OnHide) {
    OnHide(this);
  }
}

void TTabSheet::TextChanged()
{
  TWinControl::TextChanged();
  if (pageControl_ != nullptr)
    pageControl_->UpdateTabs();
}

bool TTabSheet::Showing() const
{
  return WindowVisible() && TWinControl::Showing();
}

bool TTabSheet::WindowVisible() const
{
  return Visible() && pageControl_ != nullptr && pageControl_->ActivePage() == this;
}

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner)
{
  SetTabStop(true);
  SetBounds(0, 0, 289, 193);
}

TPageControl::~TPageControl()
{
  for (TTabSheet* page : pages_)
    page->pageControl_ = nullptr;
  pages_.clear();
  activePage_ = nullptr;
}

void TPageControl::SetActivePageIndex(int value)
{
  if (value == -1) {
    SetActivePage(nullptr);
    return;
  }
  if (value < 0 || value >= PageCount())
    throw std::out_of_range("page index " + std::to_string(value) + " out of range (" + std::to_string(PageCount()) +
                            " pages)");
  SetActivePage(pages_[static_cast<std::size_t>(value)]);
}

void TPageControl::SetActivePage(TTabSheet* page)
{
  if (page != nullptr && page->pageControl_ != this)
    throw std::invalid_argument("the page belongs to another page control");
  if (page == activePage_)
    return;
  TTabSheet* previous = activePage_;
  activePage_ = page;
  // The new page shows before the old one hides, so nothing flickers through.
  if (page != nullptr && page->WindowHandle() != nullptr) {
    SetWindowPos(page->WindowHandle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(page->WindowHandle(), page->WindowVisible() ? SW_SHOWNOACTIVATE : SW_HIDE);
  }
  if (previous != nullptr && previous->WindowHandle() != nullptr)
    ShowWindow(previous->WindowHandle(), SW_HIDE);
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), TCM_SETCURSEL, static_cast<WPARAM>(page != nullptr ? page->TabIndex() : -1), 0);
  if (previous != nullptr)
    previous->UpdateShowing();
  if (page != nullptr)
    page->UpdateShowing();
}

void TPageControl::CreateParams(TCreateParams& params)
{
  InitCommonControlsOnce();
  params.ClassName = WC_TABCONTROLA;
  params.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS | TCS_TABS;
  params.ExStyle = WS_EX_CONTROLPARENT;
}

void TPageControl::CreateWnd()
{
  UpdateTabs();
  PlacePages();
}

bool TPageControl::NotifyNotify(NMHDR& header, LRESULT& result)
{
  result = 0;
  if (header.code == TCN_SELCHANGE) {
    const int tab = static_cast<int>(SendMessageA(WindowHandle(), TCM_GETCURSEL, 0, 0));
    for (TTabSheet* page : pages_) {
      if (page->TabIndex() == tab) {
        SetActivePage(page);
        break;
      }
    }
    if (OnChange)
      OnChange(this);
    return true;
  }
  return header.code == TCN_SELCHANGING;
}

LRESULT TPageControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  return TWinControl::WndProc(message, wParam, lParam);
}

RECT TPageControl::AlignRect() const
{
  RECT area{0, 0, ClientWidth(), ClientHeight()};
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  return area;
}

void TPageControl::BoundsChanged()
{
  TWinControl::BoundsChanged();
  PlacePages();
}

void TPageControl::InsertPage(TTabSheet* page, int index)
{
  index = std::clamp(index, 0, PageCount());
  pages_.insert(pages_.begin() + index, page);
  UpdateTabs();
}

void TPageControl::RemovePage(TTabSheet* page)
{
  auto it = std::find(pages_.begin(), pages_.end(), page);
  if (it == pages_.end())
    return;
  pages_.erase(it);
  page->pageControl_ = nullptr;
  if (activePage_ == page) {
    activePage_ = nullptr;
    page->UpdateShowing();
  }
  UpdateTabs();
}

void TPageControl::UpdateTabs()
{
  HWND window = WindowHandle();
  if (window == nullptr)
    return;
  SendMessageA(window, TCM_DELETEALLITEMS, 0, 0);
  int tab = 0;
  for (TTabSheet* page : pages_) {
    if (!page->tabVisible_)
      continue;
    std::string caption = page->Caption();
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageA(window, TCM_INSERTITEMA, static_cast<WPARAM>(tab++), reinterpret_cast<LPARAM>(&item));
  }
  SendMessageA(window, TCM_SETCURSEL, static_cast<WPARAM>(activePage_ != nullptr ? activePage_->TabIndex() : -1), 0);
  PlacePages();
}

void TPageControl::PlacePages()
{
  if (WindowHandle() == nullptr)
    return;
  const RECT area = AlignRect();
  for (TTabSheet* page : pages_)
    page->SetBounds(area.left, area.top, area.right - area.left, area.bottom - area.top);
}

void TPageControl::ShowActivePage()
{
  if (activePage_ != nullptr && activePage_->WindowHandle() != nullptr)
    ShowWindow(activePage_->WindowHandle(), SW_SHOWNOACTIVATE);
}
