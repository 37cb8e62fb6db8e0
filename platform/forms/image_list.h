#pragma once

#include <vector>

#include <windows.h>

#include "platform/component.h"
#include "platform/forms/icon.h"

// A numbered list of icons, owned by the list (each added icon is copied).
class TCustomImageList : public TComponent {
public:
  explicit TCustomImageList(TComponent* owner);
  ~TCustomImageList() override;

  int Count() const { return static_cast<int>(icons_.size()); }

  // Appends a copy of the icon and returns its index. An empty icon is refused
  // with Exception, since the list holds no empty entries.
  int AddIcon(const TIcon& icon);
  int AddIconHandle(HICON icon);
  void Delete(int index);
  void Clear();

  // Copies the icon at index into target. An index outside the list yields no
  // image: target is emptied and the result is false.
  bool GetIcon(int index, TIcon& target) const;

  TNotifyEvent OnChange;

private:
  void Changed();

  std::vector<HICON> icons_;
};
