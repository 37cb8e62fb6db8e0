#pragma once

#include "platform/component.h"

// A non-visual container: it owns timers, sockets and other components and
// carries their event handlers. OnCreate runs once the derived constructor has
// set up and bound every component (create it through TApplication::CreateForm).
class TDataModule : public TComponent {
public:
  explicit TDataModule(TComponent* owner) : TComponent(owner) {}

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;

  void AfterConstruction() override
  {
    if (OnCreate)
      OnCreate(this);
  }

  ~TDataModule() override
  {
    if (OnDestroy) {
      try {
        OnDestroy(this);
      } catch (...) {
        // a destructor is no place to fail
      }
    }
  }
};
