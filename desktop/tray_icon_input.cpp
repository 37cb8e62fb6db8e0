#include "desktop/tray_icon.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "desktop/tray_shell.h"
#include "platform/application.h"
#include "platform/forms/controls.h"
#include "platform/forms/form.h"
#include "platform/forms/menus.h"

namespace {

// The system's own double-click time, for a shell that cannot tell it, in ms.
constexpr UINT DefaultDoubleClickTime = 500;

// Whether the component with this identifier still exists. Event handlers may
// destroy the component that called them; after each one the caller asks this
// before it touches the component again.
bool TrayIconAlive(std::uint32_t identifier)
{
  return SharedTrayHandler != nullptr && SharedTrayHandler->Find(identifier) != nullptr;
}

// The subclass on an owner window. Several tray icons may sit on one window:
// each message runs through them, the last hooked first, then reaches the
// window's own procedure.
struct OwnerSubclass {
  WNDPROC original = nullptr;
  std::vector<std::pair<std::uint32_t, TTrayIcon*>> hooks;
};

// Set from a popup request until its menu has closed. The request pumps
// messages before the menu opens and the menu runs a loop of its own: a
// second right click queued meanwhile must not open a menu inside the first.
bool trayMenuOpen = false;

std::unordered_map<HWND, OwnerSubclass>& OwnerSubclasses()
{
  static std::unordered_map<HWND, OwnerSubclass> subclasses;
  return subclasses;
}

// Inside a catch block; the handler that threw may have destroyed the icon.
void ReportHandlerException(std::uint32_t identifier, TTrayIcon* icon)
{
  ReportCurrentException(TrayIconAlive(identifier) ? icon : nullptr);
}

}  // namespace

LRESULT CALLBACK OwnerSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  const LRESULT result = TTrayIcon::CallOwnerChainAfter(window, 0, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window is gone: nothing is left to unhook later.
    auto& subclasses = OwnerSubclasses();
    const auto found = subclasses.find(window);
    if (found != subclasses.end()) {
      for (auto& hook : found->second.hooks)
        hook.second->ownerWindow_ = nullptr;
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found->second.original));
      subclasses.erase(found);
    }
  }
  return result;
}

LRESULT TTrayIcon::CallOwnerChainAfter(HWND window, std::uint32_t previous, UINT message, WPARAM wParam, LPARAM lParam)
{
  auto& subclasses = OwnerSubclasses();
  const auto found = subclasses.find(window);
  if (found == subclasses.end())
    return DefWindowProcA(window, message, wParam, lParam);
  const auto& hooks = found->second.hooks;
  auto next = hooks.begin();
  if (previous != 0) {
    next = std::find_if(hooks.begin(), hooks.end(), [&](const auto& hook) { return hook.first == previous; });
    if (next != hooks.end())
      ++next;
  }
  if (next != hooks.end())
    return next->second->OwnerWindowProc(window, message, wParam, lParam);
  return CallWindowProcA(found->second.original, window, message, wParam, lParam);
}

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  switch (message) {
  case TTrayIcon::CallbackMessage: {
    if (SharedTrayHandler == nullptr || SharedTrayHandler->Handle() != window ||
        wParam > std::numeric_limits<std::uint32_t>::max())
      return 0;
    const auto identifier = static_cast<std::uint32_t>(wParam);
    TTrayIcon* icon = SharedTrayHandler->Find(identifier);
    if (icon == nullptr)
      return 0;  // the component was destroyed while the callback waited
    try {
      icon->HandleTrayCallback(lParam);
    } catch (...) {
      ReportHandlerException(identifier, icon);
    }
    return 0;
  }
  case WM_DESTROY:
  case WM_CLOSE:
  case WM_QUERYENDSESSION:
  case WM_QUIT:
  case WM_ENDSESSION:
  case WM_NCDESTROY: return 1;
  default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

TShiftState ReadShiftState()
{
  TShiftState shift;
  const auto& keyState = TrayShell().GetAsyncKeyState;
  if (!keyState)
    return shift;
  if (keyState(VK_SHIFT) < 0)
    shift = shift + ssShift;
  if (keyState(VK_CONTROL) < 0)
    shift = shift + ssCtrl;
  if (keyState(VK_MENU) < 0)
    shift = shift + ssAlt;
  return shift;
}

POINT TTrayIcon::CursorPosition()
{
  // Where the cursor cannot be read, the last position seen over the icon
  // stands in for it.
  POINT point = lastMousePos_;
  const auto& getCursorPos = TrayShell().GetCursorPos;
  if (!getCursorPos || !getCursorPos(&point))
    point = lastMousePos_;
  return point;
}

void TTrayIcon::HandleTrayCallback(LPARAM event)
{
  // Balloons are the shell's own: they arrive whether or not the icon takes
  // mouse input.
  if (HandleBalloonEvent(event))
    return;
  if (enabled_)
    HandleMouseEvent(event);
}

bool TTrayIcon::HandleBalloonEvent(LPARAM event)
{
  const TNotifyEvent* handler = nullptr;
  switch (event) {
  case NIN_BALLOONSHOW: handler = &OnBalloonHintShow; break;
  case NIN_BALLOONHIDE: handler = &OnBalloonHintHide; break;
  case NIN_BALLOONTIMEOUT: handler = &OnBalloonHintTimeout; break;
  case NIN_BALLOONUSERCLICK: handler = &OnBalloonHintClick; break;
  default: return false;
  }
  if (*handler)
    (*handler)(this);
  return true;
}

void TTrayIcon::HandleMouseEvent(LPARAM event)
{
  const std::uint32_t identifier = identifier_;
  const POINT at = CursorPosition();
  const TShiftState shift = ReadShiftState();
  switch (event) {
  case WM_MOUSEMOVE:
    if (wantEnterExitEvents_ && mouseOutside_) {
      FireMouseEnter();
      if (!TrayIconAlive(identifier))
        return;
      mouseOutside_ = false;
    }
    FireMouseMove(shift, at.x, at.y);
    if (TrayIconAlive(identifier))
      lastMousePos_ = at;
    return;
  case WM_LBUTTONDOWN:
    if (OnDblClick) {
      const auto& doubleClickTime = TrayShell().GetDoubleClickTime;
      clickDelayTimer_->SetInterval(doubleClickTime ? doubleClickTime() : DefaultDoubleClickTime);
      clickDelayTimer_->SetEnabled(true);
    }
    FireMouseDown(mbLeft, shift + ssLeft, at.x, at.y);
    if (!TrayIconAlive(identifier))
      return;
    leftButtonDown_ = true;
    if (leftPopup_)
      PopupTrayMenu();
    return;
  case WM_LBUTTONUP:
    if (leftButtonDown_)
      clickPending_ = true;
    if (leftButtonDown_ && !clickDelayTimer_->Enabled()) {
      leftButtonDown_ = false;
      clickPending_ = false;
      FireClick();
      if (!TrayIconAlive(identifier))
        return;
    }
    leftButtonDown_ = false;
    FireMouseUp(mbLeft, shift + ssLeft, at.x, at.y);
    return;
  case WM_LBUTTONDBLCLK:
    clickPending_ = false;
    doubleClickSeen_ = true;
    FireDblClick();
    if (!TrayIconAlive(identifier))
      return;
    if (popupMenu_ != nullptr && popupMenu_->AutoPopup() && !leftPopup_)
      ClickDefaultMenuItem();
    return;
  case WM_RBUTTONDOWN:
    FireMouseDown(mbRight, shift + ssRight, at.x, at.y);
    if (TrayIconAlive(identifier))
      PopupTrayMenu();
    return;
  case WM_RBUTTONUP:
    if (notifyBehaviour_ == TNotifyBehaviour::nbClassic)
      FireMouseUp(mbRight, shift + ssRight, at.x, at.y);
    return;
  case WM_MBUTTONDOWN: FireMouseDown(mbMiddle, shift + ssMiddle, at.x, at.y); return;
  case WM_MBUTTONUP: FireMouseUp(mbMiddle, shift + ssMiddle, at.x, at.y); return;
  case WM_CONTEXTMENU:
  case NIN_SELECT:
  case NIN_KEYSELECT:
    if (notifyBehaviour_ == TNotifyBehaviour::nbVersion3)
      FireMouseUp(mbRight, shift + ssRight, at.x, at.y);
    return;
  default: return;
  }
}

void TTrayIcon::ClickDefaultMenuItem()
{
  if (TMenuItem* item = popupMenu_->Items()->DefaultItem())
    item->Click();
}

void TTrayIcon::ClickDelayTick(TObject*)
{
  clickDelayTimer_->SetEnabled(false);
  if (!doubleClickSeen_ && clickPending_) {
    clickPending_ = false;
    const std::uint32_t identifier = identifier_;
    FireClick();
    if (!TrayIconAlive(identifier))
      return;
  }
  doubleClickSeen_ = false;
}

void TTrayIcon::MouseExitTick(TObject*)
{
  if (mouseOutside_)
    return;
  POINT at;
  const auto& getCursorPos = TrayShell().GetCursorPos;
  if (!getCursorPos || !getCursorPos(&at))
    return;  // no position, no verdict: try again at the next tick
  if (at.x != lastMousePos_.x || at.y != lastMousePos_.y) {
    mouseOutside_ = true;
    FireMouseExit();
  }
}

void TTrayIcon::PopupTrayMenu()
{
  if (trayMenuOpen || popupMenu_ == nullptr || !popupMenu_->AutoPopup())
    return;
  POINT at;
  const auto& getCursorPos = TrayShell().GetCursorPos;
  if (!getCursorPos || !getCursorPos(&at))
    return;
  struct TMenuOpen {
    TMenuOpen() { trayMenuOpen = true; }
    ~TMenuOpen() { trayMenuOpen = false; }
  } menuOpen;
  const std::uint32_t identifier = identifier_;
  if (Application != nullptr) {
    SetForegroundWindow(Application->Handle());
    Application->ProcessMessages();
    if (!TrayIconAlive(identifier) || popupMenu_ == nullptr)
      return;
  }
  popupMenu_->SetPopupComponent(this);
  popupMenu_->Popup(at.x, at.y);
  if (!TrayIconAlive(identifier))
    return;
  if (OwnerIsForm() && ownerWindow_ != nullptr)
    PostMessageA(ownerWindow_, WM_NULL, 0, 0);
}

bool TTrayIcon::AppWindowHook(MSG& message)
{
  if (message.message == WM_SIZE && message.wParam == SIZE_MINIMIZED && minimizeToTray_)
    PerformMinimizeToTray();
  if (message.message == WM_WINDOWPOSCHANGED && startupPending_ && Application != nullptr &&
      Application->MainForm() != nullptr) {
    if (Application->MainForm()->FormStyle() == fsMDIForm) {
      bool showMainForm = true;
      if (OnStartup)
        OnStartup(this, showMainForm);
      if (!showMainForm)
        HideAppWindow();
    }
    startupPending_ = false;
  }
  if (message.message == WM_SYSCOMMAND && message.wParam == SC_RESTORE && Application != nullptr &&
      Application->MainForm() != nullptr)
    Application->MainForm()->SetVisible(true);
  if (TaskbarCreatedMessage != 0 && message.message == TaskbarCreatedMessage && iconVisible_)
    AddTrayIcon();  // the shell was restarted and has lost the icon
  return false;
}

void TTrayIcon::HookOwnerWindow()
{
  auto* owner = dynamic_cast<TWinControl*>(Owner());
  if (owner == nullptr)
    return;
  HWND window = owner->Handle();  // makes the owner create its window if it has none yet
  auto& subclasses = OwnerSubclasses();
  auto found = subclasses.find(window);
  if (found == subclasses.end()) {
    OwnerSubclass subclass;
    subclass.original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    found = subclasses.emplace(window, std::move(subclass)).first;
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OwnerSubclassProc));
  }
  found->second.hooks.insert(found->second.hooks.begin(), {identifier_, this});
  ownerWindow_ = window;
}

void TTrayIcon::UnhookOwnerWindow()
{
  if (ownerWindow_ == nullptr)
    return;
  HWND window = ownerWindow_;
  ownerWindow_ = nullptr;
  auto& subclasses = OwnerSubclasses();
  const auto found = subclasses.find(window);
  if (found == subclasses.end())
    return;
  auto& hooks = found->second.hooks;
  hooks.erase(std::remove_if(hooks.begin(), hooks.end(), [&](const auto& hook) { return hook.first == identifier_; }),
              hooks.end());
  if (!hooks.empty())
    return;
  // Only take the subclass off when nobody has subclassed the window on top of
  // it; otherwise it stays and passes everything to the original procedure.
  if (IsWindow(window) && GetWindowLongPtrA(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&OwnerSubclassProc)) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found->second.original));
    subclasses.erase(found);
  }
}

LRESULT TTrayIcon::OwnerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  const std::uint32_t identifier = identifier_;
  try {
    if (message == WM_SHOWWINDOW && wParam == 1 && lParam == 0) {
      if (Application != nullptr)
        SetForegroundWindow(Application->Handle());
      SetForegroundWindow(window);
    } else if ((message == WM_SHOWWINDOW && wParam == 0 && lParam == SW_PARENTCLOSING &&
                !(Application != nullptr && Application->Terminated())) ||
               (message == WM_SYSCOMMAND && wParam == SC_MINIMIZE)) {
      LRESULT result = 0;
      if (TryMinimizeToTray(result))
        return result;
    }
  } catch (...) {
    ReportHandlerException(identifier, this);
  }
  return CallOwnerChainAfter(window, identifier, message, wParam, lParam);
}

bool TTrayIcon::TryMinimizeToTray(LRESULT& result)
{
  if (!minimizeToTray_ || !OnMinimizeToTray)
    return false;
  const std::uint32_t identifier = identifier_;
  OnMinimizeToTray(this);
  if (TrayIconAlive(identifier))
    PerformMinimizeToTray();
  result = 1;
  return true;
}
