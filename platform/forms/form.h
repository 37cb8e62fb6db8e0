#pragma once

#include <functional>
#include <string>

#include "platform/forms/controls.h"

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
// A set of border icons: TBorderIcons{biSystemMenu, biMinimize}.
class TBorderIcons {
public:
  constexpr TBorderIcons() = default;
  constexpr TBorderIcons(std::initializer_list<TBorderIcon> icons)
  {
    for (TBorderIcon icon : icons)
      bits_ |= icon;
  }
  constexpr bool Contains(TBorderIcon icon) const { return (bits_ & icon) != 0; }
  constexpr bool operator==(const TBorderIcons&) const = default;

private:
  unsigned bits_ = 0;
};

enum TPosition { poDesigned, poDefault, poScreenCenter };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

// A top-level window. Create forms with Application->CreateForm<T>(): the
// form builds its controls in its constructor, then OnCreate runs; an
// exception from OnCreate goes to Application->HandleException. The first
// form made so becomes the application's main form.
//
// Window: a top-level window owned by the application window (which carries
// the taskbar button), so the form has no taskbar button of its own. Closing
// the main form (Close, the close box, Alt+F4) ends Application->Run();
// closing another form hides it. Minimising the main form minimises the
// application window instead (the class library's way), so the application
// window's WM_SIZE with SIZE_MINIMIZED reaches the application hooks; the
// system then hides the form as an owned window of a minimised owner
// (WM_SHOWWINDOW, SW_PARENTCLOSING), and Application->Restore() brings it back.
//
// Keys: Enter presses the form's Default button, Escape its Cancel button,
// Tab moves between controls (TApplication's message loop asks DialogKey).
class TForm : public TWinControl {
public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  void SetClientWidth(int value);
  void SetClientHeight(int value);
  int ClientWidth() const override { return clientWidth_; }
  int ClientHeight() const override { return clientHeight_; }

  void SetBorderStyle(TFormBorderStyle value);
  void SetBorderIcons(TBorderIcons value);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition value) { position_ = value; }
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle value) { formStyle_ = value; }

  TWindowState WindowState() const;
  void SetWindowState(TWindowState value);

  void SetVisible(bool value) override;
  bool Showing() const override;
  void SetBounds(int left, int top, int width, int height) override;

  // Asks OnClose; for the main form any action but caNone ends the program.
  void Close();

  // Handles Enter, Escape and Tab for the form's controls; true when the key
  // was used. Called by the message loop for key presses in the form.
  bool DialogKey(const MSG& message);

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnDestroy;
  TCloseEvent OnClose;

  void AfterConstruction() override;

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void ShowingChanged() override;
  void TextChanged() override;
  RECT AlignRect() const override;

private:
  void SizeFromClient();
  // Gives the existing window the styles CreateParams asks for now.
  void ApplyWindowStyle(bool exStyleToo);
  void PlaceWindow();
  bool IsMainForm() const;

  int clientWidth_ = 0;
  int clientHeight_ = 0;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TPosition position_ = poDesigned;
  TFormStyle formStyle_ = fsNormal;
  TWindowState windowState_ = wsNormal;
  bool placed_ = false;
  bool created_ = false;
};
