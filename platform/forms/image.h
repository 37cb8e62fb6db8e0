#pragma once

#include <functional>
#include <string>

#include <windows.h>

#include "platform/forms/controls.h"

// A picture: a bitmap or an icon, owned by this object. Empty until loaded.
class TPicture {
public:
  TPicture() = default;
  ~TPicture();
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  // Loads a BITMAP resource, or an ICON resource when there is no bitmap of
  // that name. False (and the picture left as it was) when neither exists.
  bool LoadFromResourceName(HINSTANCE instance, const std::string& name);
  bool LoadFromResourceID(HINSTANCE instance, int id);
  // Takes ownership of the handle.
  void SetBitmap(HBITMAP bitmap);
  void SetIcon(HICON icon);
  void Clear();

  bool Empty() const { return bitmap_ == nullptr && icon_ == nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  HBITMAP Bitmap() const { return bitmap_; }
  HICON Icon() const { return icon_; }

  // Draws the picture scaled into the rectangle.
  void Draw(HDC dc, const RECT& target) const;

  std::function<void()> OnChange;

private:
  bool Load(HINSTANCE instance, LPCSTR name);
  void Changed();

  HBITMAP bitmap_ = nullptr;
  HICON icon_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// Shows a picture. Stretch scales it to the control (Proportional keeps its
// aspect ratio and never enlarges beyond the control); Center centres it.
class TImage : public TWinControl {
public:
  explicit TImage(TComponent* owner);

  TPicture Picture;

  bool Center() const { return center_; }
  void SetCenter(bool value);
  bool Proportional() const { return proportional_; }
  void SetProportional(bool value);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool value);

  // Where the picture is drawn, in client coordinates.
  RECT DestRect() const;

protected:
  void CreateParams(TCreateParams& params) override;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
  void Repaint();

  bool center_ = false;
  bool proportional_ = false;
  bool stretch_ = false;
  bool pressed_ = false;
};
