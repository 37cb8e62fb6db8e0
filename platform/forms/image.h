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

  void SetCenter(bool value);
  void SetProportional(bool value);
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
