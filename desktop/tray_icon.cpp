#include "desktop/tray_icon.h"

#include <cstring>
#include <string>

#include <shlwapi.h>

#include "desktop/tray_shell.h"
#include "platform/application.h"
#include "platform/forms/controls.h"
#include "platform/exception.h"
#include "platform/forms/form.h"
#include "platform/forms/menus.h"

TTrayIconHandler* SharedTrayHandler = nullptr;
UINT TaskbarCreatedMessage = 0;

namespace {

const char* const TrayWindowClassName = "TKorvalindTrayIconWindow";
const UINT TrayIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;  // 7

// How often the cursor is looked at to tell that it has left the icon, in ms.
constexpr std::uint32_t MouseExitPollInterval = 20;
constexpr UINT MillisecondsPerSecond = 1000;

// uID is 32 bits even on 64-bit Windows, where an address does not fit, so
// every component draws its own number and the handler maps it back.
std::uint32_t nextTrayIdentifier = 1;

// Copies at most capacity - 1 characters and always terminates.
template <std::size_t N>
void CopyCut(char (&target)[N], const std::string& text)
{
  std::memset(target, 0, N);
  std::strncpy(target, text.c_str(), N - 1);
}

struct TrayModule {
  TrayModule()
  {
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    if (comctl == nullptr)
      return;
    using DllGetVersionProc = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
    auto getVersion =
        reinterpret_cast<DllGetVersionProc>(reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")));
    DLLVERSIONINFO version{};
    version.cbSize = sizeof version;
    if (getVersion != nullptr && SUCCEEDED(getVersion(&version)) &&
        CommonControlsAnnounceTaskbarCreated(version.dwMajorVersion, version.dwMinorVersion))
      TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    FreeLibrary(comctl);
  }
  ~TrayModule()
  {
    delete SharedTrayHandler;
    SharedTrayHandler = nullptr;
  }
} trayModule;

}  // namespace

bool CommonControlsAnnounceTaskbarCreated(DWORD majorVersion, DWORD minorVersion)
{
  // The first common controls that announce shell restarts: 4.71.
  constexpr DWORD FirstMajor = 4;
  constexpr DWORD FirstMinor = 71;
  return majorVersion > FirstMajor || (majorVersion == FirstMajor && minorVersion >= FirstMinor);
}

void AcquireTrayWindow()
{
  TTrayIconHandler::Acquire(SharedTrayHandler, TrayWindowClassName, TrayWindowProc, "tray");
}

void ReleaseTrayWindow()
{
  TTrayIconHandler::Release(SharedTrayHandler);
}

TTrayIcon::TTrayIcon(TComponent* owner) : TComponent(owner)
{
  AcquireTrayWindow();
  try {
    identifier_ = nextTrayIdentifier++;
    if (identifier_ == 0)  // after four billion components: skip the one value never used
      identifier_ = nextTrayIdentifier++;
    startupPending_ = true;
    enabled_ = true;
    showHint_ = true;

    icon_ = std::make_unique<TIcon>();
    icon_->OnChange = [this](TObject* sender) { TrayIconImageChanged(sender); };

    // The SDK's record with its real size: the 32-bit 488-byte layout would put
    // every field after hWnd in the wrong place on 64-bit Windows.
    std::memset(&notifyData_, 0, sizeof notifyData_);
    notifyData_.cbSize = sizeof notifyData_;
    notifyData_.hWnd = SharedTrayHandler->Handle();
    notifyData_.uID = identifier_;
    notifyData_.uFlags = TrayIconFlags;
    notifyData_.uCallbackMessage = CallbackMessage;

    iconCycleTimer_ = std::make_unique<TSimpleTimer>();
    iconCycleTimer_->SetOnTimer([this](TObject* sender) { IconCycleTick(sender); });
    clickDelayTimer_ = std::make_unique<TSimpleTimer>();
    clickDelayTimer_->SetOnTimer([this](TObject* sender) { ClickDelayTick(sender); });
    mouseExitTimer_ =
        std::make_unique<TSimpleTimer>(MouseExitPollInterval, [this](TObject* sender) { MouseExitTick(sender); });

    mouseOutside_ = true;

    ownerIsForm_ = dynamic_cast<TWinControl*>(owner) != nullptr;
    if (Application != nullptr)
      Application->HookMainWindow(this, [this](MSG& message) { return AppWindowHook(message); });
    if (OwnerIsForm())
      HookOwnerWindow();
  } catch (...) {
    // A half-built icon leaves nothing behind that could lead back to it.
    if (Application != nullptr)
      Application->UnhookMainWindow(this);
    UnhookOwnerWindow();
    ReleaseTrayWindow();
    throw;
  }
  // Last: only a complete component can be found by its identifier.
  SharedTrayHandler->Add(identifier_, this);
}

TTrayIcon::~TTrayIcon()
{
  try {
    SetIconVisible(false);
    iconCycleTimer_.reset();
    clickDelayTimer_.reset();
    mouseExitTimer_.reset();
    try {
      icon_.reset();
    } catch (...) {
      // destruction always completes
    }
  } catch (...) {
    // A delete request the shell could not take is no reason to stop here:
    // the hooks and the shared window's entry below must go with the icon,
    // and a component that goes with its owner has nobody left to tell.
  }
  if (Application != nullptr)
    Application->UnhookMainWindow(this);
  UnhookOwnerWindow();
  if (SharedTrayHandler != nullptr)
    SharedTrayHandler->Remove(identifier_);
  ReleaseTrayWindow();
}

void TTrayIcon::Loaded()
{
  if (OwnerIsForm()) {
    bool showMainForm = true;
    if (OnStartup)
      OnStartup(this, showMainForm);
    if (!showMainForm) {
      if (Application != nullptr)
        Application->ShowMainForm = false;
      HideToTray();
    }
  }
  UpdateTrayIcon();
  SetIconVisible(iconVisible_);
  SetCycleIcons(cycleIcons_);
  SetWantEnterExitEvents(wantEnterExitEvents_);
  SetTrayVersion(notifyBehaviour_);
}

void TTrayIcon::Notification(TComponent* component, TOperation operation)
{
  TComponent::Notification(component, operation);
  if (operation != TOperation::opRemove)
    return;
  if (component != nullptr && component == iconList_)
    SetIconList(nullptr);
  if (component != nullptr && component == popupMenu_)
    popupMenu_ = nullptr;
}

void TTrayIcon::SetIconList(TCustomImageList* value)
{
  if (iconList_ != nullptr && iconList_ != value)
    RemoveFreeNotification(iconList_);
  iconList_ = value;
  if (iconList_ != nullptr)
    FreeNotification(iconList_);
  SetIconIndex(0);
}

void TTrayIcon::SetCycleIcons(bool value)
{
  cycleIcons_ = value;
  if (value) {
    SetIconIndex(0);
    iconCycleTimer_->SetInterval(cycleInterval_);
    iconCycleTimer_->SetEnabled(true);
  } else {
    iconCycleTimer_->SetEnabled(false);
  }
}

void TTrayIcon::SetCycleInterval(std::uint32_t value)
{
  cycleInterval_ = value;
  SetCycleIcons(cycleIcons_);
}

void TTrayIcon::SetHint(const std::string& value)
{
  hint_ = value;
  UpdateTrayIcon();
}

void TTrayIcon::SetShowHint(bool value)
{
  showHint_ = value;
  UpdateTrayIcon();
}

void TTrayIcon::SetIcon(const TIcon& value)
{
  TNotifyEvent notification = std::move(icon_->OnChange);
  icon_->OnChange = nullptr;
  try {
    icon_->Assign(value);
  } catch (...) {
    icon_->OnChange = std::move(notification);
    throw;
  }
  icon_->OnChange = std::move(notification);
  UpdateTrayIcon();
}

void TTrayIcon::SetIconVisible(bool value)
{
  if (value)
    AddTrayIcon();
  else
    RemoveTrayIcon();
}

void TTrayIcon::SetIconIndex(int value)
{
  if (iconList_ != nullptr) {
    iconIndex_ = value;
    if (value >= iconList_->Count())
      iconIndex_ = iconList_->Count() - 1;
    iconList_->GetIcon(iconIndex_, *icon_);
  } else {
    iconIndex_ = 0;
  }
  UpdateTrayIcon();
}

void TTrayIcon::SetPopupMenu(TPopupMenu* value)
{
  if (popupMenu_ != nullptr && popupMenu_ != value)
    RemoveFreeNotification(popupMenu_);
  popupMenu_ = value;
  if (popupMenu_ != nullptr)
    FreeNotification(popupMenu_);
}

void TTrayIcon::SetWantEnterExitEvents(bool value)
{
  wantEnterExitEvents_ = value;
  mouseExitTimer_->SetEnabled(value);
}

void TTrayIcon::FillIconData()
{
  notifyData_.hIcon = icon_ ? icon_->Handle() : nullptr;
  if (!hint_.empty() && showHint_)
    CopyCut(notifyData_.szTip, hint_);
  else
    std::memset(notifyData_.szTip, 0, sizeof notifyData_.szTip);
}

bool TTrayIcon::SendRequest(DWORD message)
{
  FillIconData();
  const auto& notifyIcon = TrayShell().NotifyIcon;
  return notifyIcon && notifyIcon(message, &notifyData_) != FALSE;
}

bool TTrayIcon::AddTrayIcon()
{
  iconVisible_ = true;
  return SendRequest(NIM_ADD);
}

bool TTrayIcon::RemoveTrayIcon()
{
  iconVisible_ = false;
  return SendRequest(NIM_DELETE);
}

bool TTrayIcon::UpdateTrayIcon()
{
  return SendRequest(NIM_MODIFY);
}

BOOL TTrayIcon::SetTrayVersion(TNotifyBehaviour behaviour)
{
  notifyBehaviour_ = behaviour;
  if (behaviour == TNotifyBehaviour::nbClassic)
    notifyData_.uVersion = 0;
  else if (behaviour == TNotifyBehaviour::nbVersion3)
    notifyData_.uVersion = NOTIFYICON_VERSION;  // 3
  const auto& notifyIcon = TrayShell().NotifyIcon;
  return notifyIcon ? notifyIcon(NIM_SETVERSION, &notifyData_) : FALSE;
}

bool TTrayIcon::ShowTrayBalloon(const std::string& title, const std::string& text, TBalloonHintIcon icon,
                                std::uint8_t timeoutSeconds)
{
  static const DWORD InfoFlags[] = {NIIF_NONE, NIIF_INFO, NIIF_WARNING, NIIF_ERROR};
  ClearTrayBalloon();
  notifyData_.uFlags |= NIF_INFO;
  CopyCut(notifyData_.szInfo, text);
  CopyCut(notifyData_.szInfoTitle, title);
  notifyData_.uTimeout = static_cast<UINT>(timeoutSeconds) * MillisecondsPerSecond;
  const auto kind = static_cast<std::size_t>(icon);
  notifyData_.dwInfoFlags = kind < std::size(InfoFlags) ? InfoFlags[kind] : NIIF_NONE;
  const bool accepted = UpdateTrayIcon();
  notifyData_.uFlags = TrayIconFlags;
  return accepted;
}

void TTrayIcon::ClearTrayBalloon()
{
  notifyData_.uFlags |= NIF_INFO;
  std::memset(notifyData_.szInfo, 0, sizeof notifyData_.szInfo);
  UpdateTrayIcon();
}

void TTrayIcon::TrayIconImageChanged(TObject*)
{
  UpdateTrayIcon();
}

void TTrayIcon::IconCycleTick(TObject*)
{
  if (iconList_ == nullptr)
    return;
  iconList_->GetIcon(iconIndex_, *icon_);
  const int nextIndex = iconIndex_ < iconList_->Count() - 1 ? iconIndex_ + 1 : 0;
  FireCycle(nextIndex);
  // Through the writer, so the tray shows the next picture until the next tick.
  if (iconList_ != nullptr)  // the cycle handler may have taken the list away
    SetIconIndex(iconIndex_ < iconList_->Count() - 1 ? iconIndex_ + 1 : 0);
}

void TTrayIcon::HideToTray()
{
  if (!OwnerIsForm() || Application == nullptr || Application->MainForm() == nullptr)
    return;
  Application->MainForm()->SetVisible(false);
  HideAppWindow();
}

void TTrayIcon::HideAppWindow()
{
  if (Application == nullptr)
    return;
  HWND appWindow = Application->Handle();
  if (IsWindowVisible(appWindow))
    ShowWindow(appWindow, SW_HIDE);
}

void TTrayIcon::RestoreFromTray()
{
  if (!OwnerIsForm() || Application == nullptr || Application->MainForm() == nullptr)
    return;
  TForm* mainForm = Application->MainForm();
  Application->Restore();
  if (mainForm->WindowState() == wsMinimized)
    mainForm->SetWindowState(wsNormal);
  mainForm->SetVisible(true);
  SetForegroundWindow(Application->Handle());
}

void TTrayIcon::FireClick()
{
  if (OnClick)
    OnClick(this);
}

void TTrayIcon::FireDblClick()
{
  if (OnDblClick)
    OnDblClick(this);
}

void TTrayIcon::FireCycle(int nextIndex)
{
  if (OnCycle)
    OnCycle(this, nextIndex);
}

void TTrayIcon::FireMouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
  if (OnMouseDown)
    OnMouseDown(this, button, shift, x, y);
}

void TTrayIcon::FireMouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
  if (OnMouseUp)
    OnMouseUp(this, button, shift, x, y);
}

void TTrayIcon::FireMouseMove(TShiftState shift, int x, int y)
{
  if (OnMouseMove)
    OnMouseMove(this, shift, x, y);
}

void TTrayIcon::FireMouseEnter()
{
  if (OnMouseEnter)
    OnMouseEnter(this);
}

void TTrayIcon::FireMouseExit()
{
  if (OnMouseExit)
    OnMouseExit(this);
}

void TTrayIcon::PerformMinimizeToTray()
{
  HideToTray();
  SetIconVisible(true);
}
