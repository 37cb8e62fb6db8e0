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
  // The kind names the window in error texts ("timer": "Cannot create the timer window").
  TSharedMessageWindow(const char* className, WNDPROC windowProc, const char* kind)
  {
    RegisterWindowClass(className, windowProc, kind);
    handle_ = CreateWindowExA(WS_EX_TOOLWINDOW, className, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (handle_ == nullptr)
      throw Exception(std::string("Cannot create the ") + kind + " window (error " + std::to_string(GetLastError()) +
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
  TItem* Find(TKey identifier) const
  {
    const auto found = live_.find(identifier);
    return found == live_.end() ? nullptr : found->second;
  }
  void Add(TKey identifier, TItem* item) { live_[identifier] = item; }
  void Remove(TKey identifier) { live_.erase(identifier); }

  // The kind's process-wide window is kept in shared, null while no object exists.
  static void Acquire(TSharedMessageWindow*& shared, const char* className, WNDPROC windowProc, const char* kind)
  {
    if (shared == nullptr)
      shared = new TSharedMessageWindow(className, windowProc, kind);
    ++shared->userCount_;
  }
  static void Release(TSharedMessageWindow*& shared)
  {
    if (shared == nullptr)
      return;
    if (shared->userCount_ > 0)
      --shared->userCount_;
    if (shared->userCount_ == 0) {
      delete shared;
      shared = nullptr;
    }
  }

private:
  // Once per kind: each kind is a type of its own.
  static void RegisterWindowClass(const char* className, WNDPROC windowProc, const char* kind)
  {
    static const bool registered = [&] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = windowProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = className;
      RequireWindowClass(wc, kind);
      return true;
    }();
    (void)registered;
  }

  std::uint32_t userCount_ = 0;
  HWND handle_ = nullptr;
  std::unordered_map<TKey, TItem*> live_;
};
