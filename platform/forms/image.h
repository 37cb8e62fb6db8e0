#pragma once

#include <windows.h>

#include "platform/forms/controls.h"
#include "platform/forms/picture.h"

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
