// The Windows global heap: fixed blocks whose handle is their address, moveable
// blocks whose handle is a separate cookie. Every live block is counted so that tests
// can prove nothing leaks.
#include "control.h"
#include "kernel32.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

struct Block {
  void* memory;
  SIZE_T size;
  UINT flags;
  unsigned locks;
};

std::mutex heapLock;
std::unordered_map<HGLOBAL, Block> blocksByHandle;
std::unordered_map<const void*, HGLOBAL> handlesByAddress;

// Moveable handles are cookies that never alias a real address.
uintptr_t nextCookie = 0x10;

} // namespace

extern "C" HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (emul::SystemCallFails(emul::SystemCall::GlobalAlloc)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* memory =
      (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!memory) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::lock_guard guard(heapLock);
  HGLOBAL handle = memory;
  if (flags & GMEM_MOVEABLE) {
    handle = reinterpret_cast<HGLOBAL>(nextCookie);
    nextCookie += 0x10;
  }
  blocksByHandle[handle] = Block{memory, bytes, flags, 0};
  handlesByAddress[memory] = handle;
  return handle;
}

extern "C" LPVOID WINAPI GlobalLock(HGLOBAL handle) {
  std::lock_guard guard(heapLock);
  auto it = blocksByHandle.find(handle);
  if (it == blocksByHandle.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (it->second.flags & GMEM_MOVEABLE)
    ++it->second.locks;
  return it->second.memory;
}

extern "C" BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
  std::lock_guard guard(heapLock);
  auto it = blocksByHandle.find(handle);
  if (it == blocksByHandle.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (it->second.locks == 0) {
    SetLastError(ERROR_SUCCESS);
    return FALSE;
  }
  if (--it->second.locks != 0)
    return TRUE;
  // The last unlock reports zero with no error, as Windows does.
  SetLastError(ERROR_SUCCESS);
  return FALSE;
}

extern "C" HGLOBAL WINAPI GlobalHandle(LPCVOID memory) {
  std::lock_guard guard(heapLock);
  auto it = handlesByAddress.find(memory);
  if (it == handlesByAddress.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

extern "C" HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
  std::lock_guard guard(heapLock);
  auto it = blocksByHandle.find(handle);
  if (it == blocksByHandle.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return handle;
  }
  handlesByAddress.erase(it->second.memory);
  std::free(it->second.memory);
  blocksByHandle.erase(it);
  return nullptr;
}

extern "C" SIZE_T WINAPI GlobalSize(HGLOBAL handle) {
  std::lock_guard guard(heapLock);
  auto it = blocksByHandle.find(handle);
  return it == blocksByHandle.end() ? 0 : it->second.size;
}

size_t emul::LiveGlobalBlocks() {
  std::lock_guard guard(heapLock);
  return blocksByHandle.size();
}
