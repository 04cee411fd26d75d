// A block of memory inside another process.

#include "remote_memory_win32.h"

namespace orv::inspector {

RemoteBuffer::RemoteBuffer(HWND window, SIZE_T size) : size_(size) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  process_.reset(
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
  if (process_)
    address_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
}

RemoteBuffer::~RemoteBuffer() {
  if (address_ != nullptr)
    VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
}

bool RemoteBuffer::Write(const void* from, SIZE_T bytes) const {
  SIZE_T written = 0;
  return bytes <= size_ && WriteProcessMemory(process_.get(), address_, from, bytes, &written) &&
         written == bytes;
}

bool RemoteBuffer::Read(void* into, SIZE_T bytes) const {
  SIZE_T read = 0;
  return bytes <= size_ && ReadProcessMemory(process_.get(), address_, into, bytes, &read) &&
         read == bytes;
}

}  // namespace orv::inspector
