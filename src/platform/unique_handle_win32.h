#pragma once
// Move-only owners for Win32 handles: each handle is closed exactly once, by its owner.

#include <utility>

#include "platform/windows_prelude_win32.h"

namespace orv {

template <typename Handle, auto Invalid, auto Close>
class UniqueResource {
 public:
  UniqueResource() noexcept = default;
  explicit UniqueResource(Handle handle) noexcept : handle_(handle) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  Handle get() const noexcept { return handle_; }
  bool valid() const noexcept { return handle_ != Handle(Invalid); }
  explicit operator bool() const noexcept { return valid(); }

  Handle release() noexcept { return std::exchange(handle_, Handle(Invalid)); }
  void reset(Handle handle = Handle(Invalid)) noexcept {
    Handle old = std::exchange(handle_, handle);
    if (old != Handle(Invalid))
      Close(old);
  }

 private:
  Handle handle_ = Handle(Invalid);
};

namespace detail {
inline void CloseKernelHandle(HANDLE h) noexcept {
  ::CloseHandle(h);
}
inline void CloseFind(HANDLE h) noexcept {
  ::FindClose(h);
}
inline void CloseSocketHandle(SOCKET s) noexcept {
  ::closesocket(s);
}
inline void DestroyIconHandle(HICON h) noexcept {
  ::DestroyIcon(h);
}
inline void DeleteFontHandle(HFONT h) noexcept {
  ::DeleteObject(h);
}
inline void DestroyWindowHandle(HWND h) noexcept {
  ::DestroyWindow(h);
}
inline void FreeModuleHandle(HMODULE h) noexcept {
  ::FreeLibrary(h);
}
inline void CloseServiceManagerHandle(SC_HANDLE h) noexcept {
  ::CloseServiceHandle(h);
}
inline void ReleaseAndCloseMutex(HANDLE h) noexcept {
  ::ReleaseMutex(h);
  ::CloseHandle(h);
}
}  // namespace detail

// CreateFileW and FindFirstFileW report failure as INVALID_HANDLE_VALUE; process and thread
// handles as null. Both are covered by their own owner type.
using UniqueFileHandle = UniqueResource<HANDLE, -1, detail::CloseKernelHandle>;
using UniqueKernelHandle = UniqueResource<HANDLE, 0, detail::CloseKernelHandle>;
using UniqueFindHandle = UniqueResource<HANDLE, -1, detail::CloseFind>;
using UniqueSocket = UniqueResource<SOCKET, INVALID_SOCKET, detail::CloseSocketHandle>;
using UniqueIcon = UniqueResource<HICON, 0, detail::DestroyIconHandle>;
using UniqueFont = UniqueResource<HFONT, 0, detail::DeleteFontHandle>;
using UniqueWindow = UniqueResource<HWND, 0, detail::DestroyWindowHandle>;
using UniqueModule = UniqueResource<HMODULE, 0, detail::FreeModuleHandle>;
// The service control manager and its services (OpenSCManagerW, OpenServiceW, CreateServiceW).
using UniqueServiceHandle = UniqueResource<SC_HANDLE, 0, detail::CloseServiceManagerHandle>;
// A mutex that its holder owns: released, then closed. Destroy it on the thread that took it.
using UniqueHeldMutex = UniqueResource<HANDLE, 0, detail::ReleaseAndCloseMutex>;

}  // namespace orv
