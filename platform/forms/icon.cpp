#include "platform/forms/icon.h"

#include "platform/exception.h"

TIcon::~TIcon()
{
  if (handle_ != nullptr)
    DestroyIcon(handle_);
}

void TIcon::SetHandle(HICON icon)
{
  if (icon == handle_)
    return;
  if (handle_ != nullptr)
    DestroyIcon(handle_);
  handle_ = icon;
  Changed();
}

HICON TIcon::ReleaseHandle()
{
  HICON icon = handle_;
  handle_ = nullptr;
  return icon;
}

void TIcon::Assign(const TIcon& source)
{
  if (&source == this)
    return;
  AssignHandle(source.handle_);
}

void TIcon::AssignHandle(HICON icon)
{
  if (icon == nullptr) {
    SetHandle(nullptr);
    return;
  }
  HICON copy = CopyIcon(icon);
  if (copy == nullptr)
    throw Exception("Cannot copy the icon (error " + std::to_string(GetLastError()) + ")");
  SetHandle(copy);
}

void TIcon::LoadFromResourceName(HINSTANCE instance, const std::string& name)
{
  LoadResource(instance, name.c_str(), "\"" + name + "\"");
}

void TIcon::LoadFromResourceID(HINSTANCE instance, int id)
{
  LoadResource(instance, MAKEINTRESOURCEA(id), std::to_string(id));
}

void TIcon::LoadResource(HINSTANCE instance, LPCSTR name, const std::string& description)
{
  auto* icon = static_cast<HICON>(LoadImageA(instance, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  if (icon == nullptr)
    throw Exception("Icon resource " + description + " not found (error " + std::to_string(GetLastError()) + ")");
  SetHandle(icon);
}

void TIcon::Changed()
{
  if (OnChange)
    OnChange(this);
}
