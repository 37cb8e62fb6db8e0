#include "platform/application.h"

#include <cstdio>

TApplication* Application = nullptr;

TApplication::TApplication() : TComponent(nullptr), mainThreadId_(GetCurrentThreadId())
{
  if (Application == nullptr)
    Application = this;
}

TApplication::~TApplication()
{
  // Forms and data modules go before the global reference does: their
  // destructors may still report through it.
  DestroyComponents();
  if (Application == this)
    Application = nullptr;
}

void TApplication::Run()
{
  while (!terminated_)
    HandleMessage();
}

bool TApplication::ProcessMessage(MSG& msg)
{
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

void TApplication::ProcessMessages()
{
  MSG msg;
  while (ProcessMessage(msg)) {
  }
}

void TApplication::HandleMessage()
{
  MSG msg;
  if (!ProcessMessage(msg))
    WaitMessage();
}

void TApplication::Terminate()
{
  if (GetCurrentThreadId() == mainThreadId_)
    PostQuitMessage(0);
  else
    PostThreadMessageA(mainThreadId_, WM_QUIT, 0, 0);
}

void TApplication::HandleException(TObject* sender, const std::exception& e)
{
  if (OnException) {
    try {
      OnException(sender, e);
      return;
    } catch (...) {
      // a failing handler must not take the message loop down with it
    }
  }
  std::fprintf(stderr, "%s: unhandled exception: %s\n", Title.empty() ? "application" : Title.c_str(), e.what());
}

void ReportUnhandledException(TObject* sender, const std::exception& e)
{
  if (Application != nullptr)
    Application->HandleException(sender, e);
  else
    std::fprintf(stderr, "unhandled exception: %s\n", e.what());
}
