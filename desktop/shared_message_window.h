#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include <windows.h>

#include "platform/component.h"
#include "platform/exception.h"
#include "platform/window_class.h"

// The one hidden window that every object of a kind shares to get window
// messages without being a window, and the table that leads the identifier an
// object puts into its requests back to the object. Made for the first object
// of the kind (Acquire) and destroyed with the last one (Release).
template <class TItem, class TKey>
class TSharedMessageWindow : public TObject {
public:
  // Kind names the window in error texts ("timer": "Cannot create the timer window").
  TSharedMessageWindow(const char* ClassName, WNDPROC WindowProc, const char* Kind)
  {
    RegisterWindowClass(ClassName, WindowProc, Kind);
    handle_ = CreateWindowExA(WS_EX_TOOLWINDOW, ClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (handle_ == nullptr)
      throw Exception(std::string("Cannot create the ") + Kind + " window (error " + std::to_string(GetLastError()) +
                      ")");
  }
  ~TSharedMessageWindow() override
  {
    if (handle_ != nullptr)
      DestroyWindow(handle_);
  }

  TSharedMessageWindow(const TSharedMessageWindow&) = delete;
  TSharedMessageWindow& operator=(const TSharedMessageWindow&) = delete;

  HWND Handle() const { return handle_; }
  std::uint32_t UserCount() const { return userCount_; }

  // The live object behind an identifier, or null when it is gone.
  TItem* Find(TKey Identifier) const
  {
    const auto found = live_.find(Identifier);
    return found == live_.end() ? nullptr : found->second;
  }
  void Add(TKey Identifier, TItem* Item) { live_[Identifier] = Item; }
  void Remove(TKey Identifier) { live_.erase(Identifier); }

  // Shared holds the kind's process-wide window, null while no object exists.
  static void Acquire(TSharedMessageWindow*& Shared, const char* ClassName, WNDPROC WindowProc, const char* Kind)
  {
    if (Shared == nullptr)
      Shared = new TSharedMessageWindow(ClassName, WindowProc, Kind);
    ++Shared->userCount_;
  }
  static void Release(TSharedMessageWindow*& Shared)
  {
    if (Shared == nullptr)
      return;
    if (Shared->userCount_ > 0)
      --Shared->userCount_;
    if (Shared->userCount_ == 0) {
      delete Shared;
      Shared = nullptr;
    }
  }

private:
  // Once per kind: each kind is a type of its own.
  static void RegisterWindowClass(const char* ClassName, WNDPROC WindowProc, const char* Kind)
  {
    static const bool registered = [&] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = WindowProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = ClassName;
      RequireWindowClass(wc, Kind);
      return true;
    }();
    (void)registered;
  }

  std::uint32_t userCount_ = 0;
  HWND handle_ = nullptr;
  std::unordered_map<TKey, TItem*> live_;
};
