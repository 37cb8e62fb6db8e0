#pragma once

#include <string>

#include "platform/forms/controls.h"

// The status bar of the common controls, at the bottom of its parent. This
// layer offers its simple mode: one panel with SimpleText.
class TStatusBar : public TWinControl {
public:
  explicit TStatusBar(TComponent* owner);

  void SetSimplePanel(bool value);
  void SetSimpleText(const std::string& value);

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;

private:
  void ApplyText();

  bool simplePanel_ = true;
  std::string simpleText_;
};
