#include "platform/forms/image_list.h"

#include <string>

#include "platform/exception.h"

TCustomImageList::TCustomImageList(TComponent* owner) : TComponent(owner) {}

TCustomImageList::~TCustomImageList()
{
  for (HICON icon : icons_)
    DestroyIcon(icon);
}

int TCustomImageList::AddIcon(const TIcon& icon)
{
  return AddIconHandle(icon.Handle());
}

int TCustomImageList::AddIconHandle(HICON icon)
{
  if (icon == nullptr)
    throw Exception("Cannot add an empty icon to an image list");
  HICON copy = CopyIcon(icon);
  if (copy == nullptr)
    throw Exception("Cannot copy the icon (error " + std::to_string(GetLastError()) + ")");
  icons_.push_back(copy);
  Changed();
  return Count() - 1;
}

void TCustomImageList::Delete(int index)
{
  if (index < 0 || index >= Count())
    throw Exception("Image list index out of bounds (" + std::to_string(index) + ")");
  DestroyIcon(icons_[static_cast<std::size_t>(index)]);
  icons_.erase(icons_.begin() + index);
  Changed();
}

void TCustomImageList::Clear()
{
  if (icons_.empty())
    return;
  for (HICON icon : icons_)
    DestroyIcon(icon);
  icons_.clear();
  Changed();
}

bool TCustomImageList::GetIcon(int index, TIcon& target) const
{
  if (index < 0 || index >= Count()) {
    target.Clear();
    return false;
  }
  target.AssignHandle(icons_[static_cast<std::size_t>(index)]);
  return true;
}

void TCustomImageList::Changed()
{
  if (OnChange)
    OnChange(this);
}
