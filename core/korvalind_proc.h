#pragma once

#include "platform/data_module.h"

// The procedures module: both programs create one after the client data
// module (component name "KorvalindProc"); it holds nothing.
class TKorvalindProc : public TDataModule {
public:
  explicit TKorvalindProc(TComponent* owner) : TDataModule(owner) { SetName("KorvalindProc"); }
};
