#pragma once

#include "platform/forms/controls.h"

// A frame with a caption around other controls, which name it as parent.
class TGroupBox : public TWinControl {
public:
  explicit TGroupBox(TComponent* owner);

protected:
  void CreateParams(TCreateParams& params) override;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  RECT AlignRect() const override;
};
