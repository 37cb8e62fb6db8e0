#include "platform/forms/picture.h"

TPicture::~TPicture()
{
  OnChange = nullptr;
  Clear();
}

bool TPicture::LoadFromResourceName(HINSTANCE instance, const std::string& name)
{
  return Load(instance, name.c_str());
}

bool TPicture::LoadFromResourceID(HINSTANCE instance, int id)
{
  return Load(instance, MAKEINTRESOURCEA(id));
}

bool TPicture::Load(HINSTANCE instance, LPCSTR name)
{
  if (auto* bitmap = static_cast<HBITMAP>(LoadImageA(instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
      bitmap != nullptr) {
    SetBitmap(bitmap);
    return true;
  }
  if (auto* icon = static_cast<HICON>(LoadImageA(instance, name, IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR)); icon != nullptr) {
    SetIcon(icon);
    return true;
  }
  return false;
}

void TPicture::SetBitmap(HBITMAP bitmap)
{
  HBITMAP oldBitmap = bitmap_;
  HICON oldIcon = icon_;
  bitmap_ = bitmap;
  icon_ = nullptr;
  width_ = height_ = 0;
  BITMAP info{};
  if (bitmap != nullptr && GetObjectA(bitmap, sizeof(info), &info) != 0) {
    width_ = info.bmWidth;
    height_ = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  }
  if (oldBitmap != nullptr && oldBitmap != bitmap)
    DeleteObject(oldBitmap);
  if (oldIcon != nullptr)
    DestroyIcon(oldIcon);
  Changed();
}

void TPicture::SetIcon(HICON icon)
{
  HBITMAP oldBitmap = bitmap_;
  HICON oldIcon = icon_;
  bitmap_ = nullptr;
  icon_ = icon;
  width_ = height_ = 0;
  ICONINFO info{};
  if (icon != nullptr && GetIconInfo(icon, &info)) {
    BITMAP bits{};
    HBITMAP shape = info.hbmColor != nullptr ? info.hbmColor : info.hbmMask;
    if (GetObjectA(shape, sizeof(bits), &bits) != 0) {
      width_ = bits.bmWidth;
      height_ = info.hbmColor != nullptr ? bits.bmHeight : bits.bmHeight / 2;
    }
    if (info.hbmColor != nullptr)
      DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr)
      DeleteObject(info.hbmMask);
  }
  if (oldBitmap != nullptr)
    DeleteObject(oldBitmap);
  if (oldIcon != nullptr && oldIcon != icon)
    DestroyIcon(oldIcon);
  Changed();
}

void TPicture::Clear()
{
  if (Empty())
    return;
  if (bitmap_ != nullptr)
    DeleteObject(bitmap_);
  if (icon_ != nullptr)
    DestroyIcon(icon_);
  bitmap_ = nullptr;
  icon_ = nullptr;
  width_ = height_ = 0;
  Changed();
}

void TPicture::Draw(HDC dc, const RECT& target) const
{
  const int width = target.right - target.left;
  const int height = target.bottom - target.top;
  if (width <= 0 || height <= 0)
    return;
  if (icon_ != nullptr) {
    DrawIconEx(dc, target.left, target.top, icon_, width, height, 0, nullptr, DI_NORMAL);
  } else if (bitmap_ != nullptr) {
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, bitmap_);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, target.left, target.top, width, height, source, 0, 0, width_, height_, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
  }
}

void TPicture::Changed()
{
  if (OnChange)
    OnChange();
}
