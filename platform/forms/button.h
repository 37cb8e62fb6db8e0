#pragma once

#include "platform/forms/controls.h"

// A push button. A Default button is pressed by Enter anywhere in its form
// while it is shown and enabled (see TForm::DialogKey).
class TButton : public TWinControl {
public:
  explicit TButton(TComponent* owner);

  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }

protected:
  void CreateParams(TCreateParams& params) override;
  bool CommandNotify(WORD code) override;

private:
  bool default_ = false;
  bool cancel_ = false;
};
