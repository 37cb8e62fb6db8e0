#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "platform/component.h"
#include "platform/forms/graphics.h"

// The mouse pointer shown over a control. crDefault leaves it to the window
// class (an arrow for most controls).
enum TCursor : int { crDefault = 0, crArrow = -2, crIBeam = -4, crHourGlass = -11, crHandPoint = -21 };

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Placement inside the parent's client area: alTop/alBottom take a strip of
// the control's height, alLeft/alRight one of its width, alClient the rest.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TWinControl;

// A visible element placed inside a parent. Every control of this layer is a
// window (TWinControl); this class holds what does not need the window.
// Controls are made with their owner (usually the form, which destroys them)
// and placed with SetParent; a control appears once its parent has a window.
//
// Font: the control follows its parent's font while ParentFont is true (the
// start); changing Font directly ends that. Color likewise follows the
// parent's colour while ParentColor is true (labels, check boxes, group boxes,
// buttons and pages start so; edits, list and combo boxes start clWindow).
class TControl : public TComponent {
public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetTop(int value) { SetBounds(left_, value, width_, height_); }
  void SetWidth(int value) { SetBounds(left_, top_, value, height_); }
  void SetHeight(int value) { SetBounds(left_, top_, width_, value); }
  // Position relative to the parent's client area.
  virtual void SetBounds(int left, int top, int width, int height);

  TAlign Align() const { return align_; }
  void SetAlign(TAlign value);

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible, and so is every parent up to a form that is shown.
  virtual bool Showing() const;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);

  // Caption and Text are one value: a label's or button's caption, an edit's
  // text, a form's title.
  std::string Caption() const { return GetText(); }
  void SetCaption(const std::string& value) { SetText(value); }
  virtual std::string GetText() const { return text_; }
  std::string Text() const { return GetText(); }
  void SetText(const std::string& value);

  TFont Font;
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);

  TColor Color() const { return color_; }
  void SetColor(TColor value);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool value);

  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor value) { cursor_ = value; }

  TNotifyEvent OnClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

  // Fires OnClick, as a click of the user does.
  virtual void Click();

  // True between the mouse entering the control and leaving it.
  bool MouseInside() const { return mouseInside_; }

protected:
  virtual void BoundsChanged() {}
  virtual void TextChanged() {}
  virtual void FontChanged() {}
  virtual void ColorChanged() {}
  virtual void EnabledChanged() {}
  virtual void VisibleChanged() {}
  virtual void ParentChanged() {}

  // Called with the parent's font or colour while ParentFont / ParentColor.
  void InheritFont(const TFont& font);
  void InheritColor(TColor color);

  void MouseEntered();
  void MouseLeft();

  std::string text_;

private:
  friend class TWinControl;
  friend class TForm;

  TWinControl* parent_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  bool parentFont_ = true;
  bool inheritingFont_ = false;
  TColor color_ = clBtnFace;
  bool parentColor_ = true;
  TCursor cursor_ = crDefault;
  bool mouseInside_ = false;
};

// A control with a window of its own, which may hold other controls.
//
// Window: made on demand by Handle(), or at once when the control gets a
// parent that already has one; a window made for a parent makes the windows
// of its children. The window's procedure is replaced by this layer's (the
// object is found through a table of the process, never GWLP_USERDATA, which
// stays free); another component may replace it again with SetWindowLongPtrA
// (GWLP_WNDPROC) and pass messages on with CallWindowProcA.
//
// A parent hands the notifications that the system sends it about a child
// (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*) to that child.
class TWinControl : public TControl {
public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  // The window's handle when it exists, else null; makes nothing.
  HWND WindowHandle() const { return handle_; }

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<std::size_t>(index)); }

  // Size of the client area: from the window when it exists, else the
  // control's size less its frame.
  virtual int ClientWidth() const;
  virtual int ClientHeight() const;

  void SetTabStop(bool value);
  void SetFocus();

  // The control whose window this is, or null (also once the window is
  // destroyed). Safe from any thread.
  static TWinControl* FromHandle(HWND window);

  bool Showing() const override;

protected:
  struct TCreateParams {
    std::string ClassName;  // a system class or one registered by this layer
    DWORD Style = 0;
    DWORD ExStyle = 0;
    HWND ParentWindow = nullptr;
  };
  // Fills in the window's class and styles; the layer adds WS_CHILD,
  // WS_VISIBLE, WS_DISABLED and the parent as the control's state says.
  virtual void CreateParams(TCreateParams& params) = 0;
  // Runs once the window exists: hand it the state kept so far.
  virtual void CreateWnd() {}
  // Runs before the window goes: take back the state it holds.
  virtual void DestroyWnd() {}
  // Makes the window again with fresh styles, keeping the state.
  void RecreateWnd();
  void DestroyHandle();

  // The window's messages. Overrides handle what they need and pass the rest
  // on to this; the base handles reflection, colours, cursor, mouse
  // enter/leave, and hands everything else to the class's own procedure.
  virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);

  // Notifications about this control that arrived at its parent. True when
  // handled (result set for NotifyNotify).
  virtual bool CommandNotify(WORD code);
  virtual bool NotifyNotify(NMHDR& header, LRESULT& result);
  // Colours a static, edit, button or list window: text in the font colour,
  // background in the control's colour.
  virtual HBRUSH CtlColor(HDC dc);

  // Runs when Showing changes; children follow.
  virtual void ShowingChanged() {}
  void UpdateShowing();

  // Lays out the children that have an Align.
  void AlignControls();
  // The client area left for aligned and page controls (tab controls are smaller).
  virtual RECT AlignRect() const;

  void BoundsChanged() override;
  void TextChanged() override;
  void FontChanged() override;
  void ColorChanged() override;
  void EnabledChanged() override;
  void VisibleChanged() override;
  void ParentChanged() override;

  // Whether the window shows now: Visible, for pages also being the active one.
  virtual bool WindowVisible() const { return Visible(); }
  // The height given to the window (a combo box's includes its open list).
  virtual int WindowHeight() const { return Height(); }
  // The brush of the control's colour, made on first use.
  HBRUSH ColorBrush();

private:
  friend class TControl;
  friend class TForm;

  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  void CreateHandle();
  void CreateChildHandles();
  void ApplyFont();
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND handle_ = nullptr;
  WNDPROC defaultProc_ = nullptr;
  HBRUSH brush_ = nullptr;
  COLORREF brushColor_ = 0;
  bool tabStop_ = false;
  bool showing_ = false;
  bool creating_ = false;
  bool aligning_ = false;
  bool plainWindow_ = false;
  std::vector<TControl*> controls_;
};

// Registers (once) this layer's plain window class: a window with the button
// face as background and no behaviour of its own. Used for forms, pages and
// pictures.
const char* PlainWindowClass();

// Makes sure the common controls (tab control, status bar) are registered.
void InitCommonControlsOnce();
