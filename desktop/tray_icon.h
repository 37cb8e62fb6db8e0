#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <windows.h>
#include <shellapi.h>

#include "desktop/shared_message_window.h"
#include "desktop/simple_timer.h"
#include "platform/component.h"
#include "platform/forms/icon.h"
#include "platform/forms/image_list.h"

class TPopupMenu;
class TTrayIcon;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftStateFlag : std::uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };

// A set of TShiftStateFlag values.
struct TShiftState {
  std::uint8_t Bits = 0;

  bool Contains(TShiftStateFlag flag) const { return (Bits & flag) != 0; }
  TShiftState operator+(TShiftStateFlag flag) const { return TShiftState{static_cast<std::uint8_t>(Bits | flag)}; }
  bool operator==(const TShiftState&) const = default;
};

// How the shell reports mouse input on the icon: the classic callbacks, or
// the shell's version-3 behaviour, which reports a right release as
// WM_CONTEXTMENU and a selection as NIN_SELECT or NIN_KEYSELECT.
enum class TNotifyBehaviour : std::uint8_t { nbClassic = 0, nbVersion3 = 1 };

// The icon shown beside a balloon text.
enum class TBalloonHintIcon : std::uint8_t { bhiNone, bhiInfo, bhiWarning, bhiError };

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TCycleEvent = std::function<void(TObject* Sender, int NextIndex)>;
using TStartupEvent = std::function<void(TObject* Sender, bool& ShowMainForm)>;

// The hidden window that receives the shell's callbacks for every tray icon of
// the process; it finds an icon by the identifier of the callback. Lives from
// the first tray icon built to the last one destroyed (AcquireTrayWindow /
// ReleaseTrayWindow).
using TTrayIconHandler = TSharedMessageWindow<TTrayIcon, std::uint32_t>;

// Process-wide handler, null while no tray icon exists.
extern TTrayIconHandler* SharedTrayHandler;
// The shell's "TaskbarCreated" broadcast, 0 while unregistered (common
// controls older than 4.71): then a restarted shell does not get the icon back.
extern UINT TaskbarCreatedMessage;

void AcquireTrayWindow();
void ReleaseTrayWindow();
LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The procedure put on an owner form's window while tray icons are hooked to it.
LRESULT CALLBACK OwnerSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Whether a common-controls version announces shell restarts (4.71 and later).
bool CommonControlsAnnounceTaskbarCreated(DWORD majorVersion, DWORD minorVersion);

TShiftState ReadShiftState();

// One icon in the notification area, with tooltip, balloons, optional
// animation through an image list, mouse events, a popup menu, and hiding the
// application into the tray when it is minimized.
class TTrayIcon : public TComponent {
public:
  static constexpr UINT CallbackMessage = WM_USER + 1024;

  explicit TTrayIcon(TComponent* owner);
  ~TTrayIcon() override;

  // To be called once the owner has set the component's properties, as the
  // form's reading of its properties would end: runs OnStartup and applies
  // IconVisible, CycleIcons, WantEnterExitEvents and the notify behaviour.
  virtual void Loaded();
  void Notification(TComponent* component, TOperation operation) override;

  // Whether a form designer would show the icon while it hosts the
  // component; no designer hosts it in this program, so it is only stored.
  bool DesignPreview() const { return designPreview_; }
  void SetDesignPreview(bool value) { designPreview_ = value; }

  TCustomImageList* IconList() const { return iconList_; }
  void SetIconList(TCustomImageList* value);

  bool CycleIcons() const { return cycleIcons_; }
  void SetCycleIcons(bool value);

  std::uint32_t CycleInterval() const { return cycleInterval_; }
  void SetCycleInterval(std::uint32_t value);

  // When false, mouse callbacks from the shell are ignored.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }

  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& value);

  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value);

  // The icon picture; changing it in place updates the tray.
  TIcon& Icon() { return *icon_; }
  void SetIcon(const TIcon& value);

  bool IconVisible() const { return iconVisible_; }
  void SetIconVisible(bool value);

  int IconIndex() const { return iconIndex_; }
  void SetIconIndex(int value);

  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* value);

  bool LeftPopup() const { return leftPopup_; }
  void SetLeftPopup(bool value) { leftPopup_ = value; }

  bool WantEnterExitEvents() const { return wantEnterExitEvents_; }
  void SetWantEnterExitEvents(bool value);

  bool MinimizeToTray() const { return minimizeToTray_; }
  void SetMinimizeToTray(bool value) { minimizeToTray_ = value; }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TCycleEvent OnCycle;
  TStartupEvent OnStartup;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;
  TNotifyEvent OnMinimizeToTray;
  TNotifyEvent OnBalloonHintShow;
  TNotifyEvent OnBalloonHintHide;
  TNotifyEvent OnBalloonHintTimeout;
  TNotifyEvent OnBalloonHintClick;

  // Shell requests; each returns whether the shell accepted it.
  virtual bool AddTrayIcon();
  virtual bool RemoveTrayIcon();
  virtual bool UpdateTrayIcon();
  // Fills in the icon and the tooltip of the next request.
  void FillIconData();
  // An empty text only takes a shown balloon away.
  bool ShowTrayBalloon(const std::string& title, const std::string& text, TBalloonHintIcon icon,
                       std::uint8_t timeoutSeconds);
  void ClearTrayBalloon();
  // Tells the shell the behaviour; a value that is neither leaves the
  // record's version as it is.
  BOOL SetTrayVersion(TNotifyBehaviour behaviour);

  void HideToTray();
  void RestoreFromTray();
  void HideAppWindow();

  // The notify icon's uID: unique per component for the life of the process.
  std::uint32_t Identifier() const { return identifier_; }
  TNotifyBehaviour NotifyBehaviour() const { return notifyBehaviour_; }
  const NOTIFYICONDATAA& NotifyData() const { return notifyData_; }
  const TSimpleTimer& ClickDelayTimer() const { return *clickDelayTimer_; }
  const TSimpleTimer& MouseExitTimer() const { return *mouseExitTimer_; }
  const TSimpleTimer& IconCycleTimer() const { return *iconCycleTimer_; }

protected:
  virtual void FireClick();
  virtual void FireDblClick();
  virtual void FireCycle(int nextIndex);
  virtual void FireMouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void FireMouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void FireMouseMove(TShiftState shift, int x, int y);
  virtual void FireMouseEnter();
  virtual void FireMouseExit();
  virtual void PerformMinimizeToTray();

private:
  friend LRESULT CALLBACK TrayWindowProc(HWND, UINT, WPARAM, LPARAM);
  friend LRESULT CALLBACK OwnerSubclassProc(HWND, UINT, WPARAM, LPARAM);

  bool SendRequest(DWORD message);
  void TrayIconImageChanged(TObject* sender);
  void IconCycleTick(TObject* sender);
  void ClickDelayTick(TObject* sender);
  void MouseExitTick(TObject* sender);
  void HandleTrayCallback(LPARAM event);
  // Fires the balloon event the callback names; false when it names none.
  bool HandleBalloonEvent(LPARAM event);
  void HandleMouseEvent(LPARAM event);
  POINT CursorPosition();
  void PopupTrayMenu();
  void ClickDefaultMenuItem();
  bool AppWindowHook(MSG& message);
  void HookOwnerWindow();
  void UnhookOwnerWindow();
  LRESULT OwnerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Passes a message to the hook after the one with this identifier (0: the
  // first), or to the window's own procedure after the last.
  static LRESULT CallOwnerChainAfter(HWND window, std::uint32_t previous, UINT message, WPARAM wParam, LPARAM lParam);
  bool TryMinimizeToTray(LRESULT& result);
  bool OwnerIsForm() const { return ownerIsForm_; }

  bool enabled_ = true;
  std::unique_ptr<TIcon> icon_;
  std::uint32_t identifier_ = 0;
  bool iconVisible_ = false;
  std::string hint_;
  bool showHint_ = true;
  TPopupMenu* popupMenu_ = nullptr;
  bool leftPopup_ = false;
  bool minimizeToTray_ = false;
  bool leftButtonDown_ = false;
  bool clickPending_ = false;
  std::unique_ptr<TSimpleTimer> iconCycleTimer_;
  std::unique_ptr<TSimpleTimer> clickDelayTimer_;
  std::unique_ptr<TSimpleTimer> mouseExitTimer_;
  POINT lastMousePos_{0, 0};
  bool mouseOutside_ = true;
  bool wantEnterExitEvents_ = false;
  TNotifyBehaviour notifyBehaviour_ = TNotifyBehaviour::nbClassic;
  bool doubleClickSeen_ = false;
  int iconIndex_ = 0;
  bool designPreview_ = false;
  bool startupPending_ = true;
  TCustomImageList* iconList_ = nullptr;
  bool cycleIcons_ = false;
  std::uint32_t cycleInterval_ = 0;
  // The owner form's window while this component's subclass sits on it.
  bool ownerIsForm_ = false;
  HWND ownerWindow_ = nullptr;
  NOTIFYICONDATAA notifyData_{};
};
