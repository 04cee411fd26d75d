#pragma once
// A block of memory inside another process, for messages whose buffer the target fills (a
// pointer in another process's message must point into that process).

#include "platform/unique_handle_win32.h"
#include "platform/windows_prelude_win32.h"

namespace orv::inspector {

// Committed read-write memory in the process that owns `window`, freed by its owner.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, SIZE_T size);
  ~RemoteBuffer();
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool valid() const { return address_ != nullptr; }
  // The block's address in the target, as a message's LPARAM.
  LPARAM address() const { return reinterpret_cast<LPARAM>(address_); }
  // Copy `bytes` from the start of the block, or to it; false when the block is smaller or the
  // copy falls short.
  bool Write(const void* from, SIZE_T bytes) const;
  bool Read(void* into, SIZE_T bytes) const;

 private:
  orv::UniqueKernelHandle process_;
  void* address_ = nullptr;
  SIZE_T size_;
};

}  // namespace orv::inspector
