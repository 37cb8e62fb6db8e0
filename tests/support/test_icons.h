#pragma once

#include <vector>

#include <windows.h>

// A monochrome icon of the given width and height; tests tell icons apart by size.
inline HICON MakeTestIcon(int width)
{
  const int bytesPerRow = ((width + 15) / 16) * 2;
  std::vector<BYTE> andMask(static_cast<std::size_t>(bytesPerRow * width), 0x00);
  std::vector<BYTE> xorMask(static_cast<std::size_t>(bytesPerRow * width), 0xFF);
  return CreateIcon(GetModuleHandleA(nullptr), width, width, 1, 1, andMask.data(), xorMask.data());
}

// The width of an icon, or 0 for none.
inline int IconWidth(HICON icon)
{
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(icon, &info))
    return 0;
  BITMAP bitmap{};
  GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmMask != nullptr)
    DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr)
    DeleteObject(info.hbmColor);
  return bitmap.bmWidth;
}
