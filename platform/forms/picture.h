#pragma once

#include <functional>
#include <string>

#include <windows.h>

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
