#pragma once

#include <string>

#include <windows.h>

#include "platform/component.h"

// An icon picture that owns its HICON. Every change of the picture fires
// OnChange, so whoever shows the icon can refresh it.
class TIcon : public TObject {
public:
  TIcon() = default;
  ~TIcon() override;

  TIcon(const TIcon&) = delete;
  TIcon& operator=(const TIcon&) = delete;

  // The icon, or null while the picture is empty.
  HICON Handle() const { return handle_; }
  // Takes ownership of the icon (null empties the picture).
  void SetHandle(HICON icon);
  // Gives up ownership; the picture becomes empty without a change notification.
  HICON ReleaseHandle();

  bool Empty() const { return handle_ == nullptr; }
  void Clear() { SetHandle(nullptr); }

  // Copies the other picture (an empty one empties this one).
  void Assign(const TIcon& source);
  // Copies an icon that stays the caller's.
  void AssignHandle(HICON icon);

  // A missing resource raises Exception and leaves the picture as it was.
  void LoadFromResourceName(HINSTANCE instance, const std::string& name);
  void LoadFromResourceID(HINSTANCE instance, int id);

  TNotifyEvent OnChange;

private:
  void LoadResource(HINSTANCE instance, LPCSTR name, const std::string& description);
  void Changed();

  HICON handle_ = nullptr;
};
