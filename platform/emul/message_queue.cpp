// The per-thread posted-message queue. Any thread may post to a window; the message
// waits in the queue of the window's thread until that thread gets it. WM_QUIT from
// PostQuitMessage is a flag rather than a queued message: it is seen only once no
// other message is waiting, as on Windows.
#include "control.h"
#include "kernel32.h"
#include "mmsystem.h"
#include "window_internal.h"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace {

struct Posted {
  MSG msg;
  std::optional<uint64_t> dueFrame; // PostMessageAtFrame
};

struct ThreadQueue {
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<Posted> posted;
  bool quit = false;
  int quitCode = 0;
};

std::mutex queuesLock;
std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;

std::shared_ptr<ThreadQueue> QueueOf(DWORD thread) {
  std::lock_guard guard(queuesLock);
  auto& queue = queues[thread];
  if (!queue)
    queue = std::make_shared<ThreadQueue>();
  return queue;
}

// A thread's queue goes with the thread, so that a later thread given the same id
// starts with an empty one. The clean-up is a thread-specific key's destructor, not a
// thread_local object's: that would keep a copy of this code loaded with dlopen from
// being unloaded for as long as the thread lives. The key goes with the code.
void ForgetQueue(void* thread) {
  std::lock_guard guard(queuesLock);
  queues.erase(static_cast<DWORD>(reinterpret_cast<uintptr_t>(thread)));
}

struct QueueKey {
  pthread_key_t key{};
  bool made = pthread_key_create(&key, ForgetQueue) == 0;
  ~QueueKey() {
    if (made)
      pthread_key_delete(key);
  }
};
QueueKey queueKey;
thread_local DWORD queueThread = 0;

std::shared_ptr<ThreadQueue> OwnQueue() {
  if (!queueThread) {
    queueThread = GetCurrentThreadId();
    if (queueKey.made)
      pthread_setspecific(queueKey.key, reinterpret_cast<void*>(uintptr_t{queueThread}));
  }
  return QueueOf(queueThread);
}

// A window filter takes the window's messages and those of its children; -1 takes
// only the messages posted to no window. A range of 0..0 takes every message.
bool Matches(const MSG& msg, HWND window, UINT first, UINT last) {
  if (window == reinterpret_cast<HWND>(-1)) {
    if (msg.hwnd)
      return false;
  } else if (window && !(msg.hwnd && emul::detail::IsSelfOrDescendant(msg.hwnd, window))) {
    return false;
  }
  return (first == 0 && last == 0) || (first <= msg.message && msg.message <= last);
}

// Messages with a due frame that this thread has taken from its queue and not yet
// dispatched: the frame travels beside the MSG, which has no room for it. A few at most;
// the oldest are forgotten should a caller never dispatch what it takes.
thread_local std::deque<Posted> takenWithFrame;
thread_local std::optional<uint64_t> dispatchingFrame;

bool SameMessage(const MSG& a, const MSG& b) {
  return a.hwnd == b.hwnd && a.message == b.message && a.wParam == b.wParam &&
         a.lParam == b.lParam && a.time == b.time;
}

std::optional<uint64_t> ClaimDueFrame(const MSG& msg) {
  for (auto it = takenWithFrame.begin(); it != takenWithFrame.end(); ++it)
    if (SameMessage(it->msg, msg)) {
      const auto frame = it->dueFrame;
      takenWithFrame.erase(it);
      return frame;
    }
  return std::nullopt;
}

// Takes the first waiting message that matches, or the quit flag when nothing does.
// Called with the queue's lock held, on the queue's own thread.
bool Take(ThreadQueue& queue, MSG* msg, HWND window, UINT first, UINT last, bool remove,
          bool withQuit) {
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!Matches(it->msg, window, first, last) || (!withQuit && it->msg.message == WM_QUIT))
      continue;
    *msg = it->msg;
    if (remove) {
      if (it->dueFrame) {
        if (takenWithFrame.size() == 64)
          takenWithFrame.pop_front();
        takenWithFrame.push_back(*it);
      }
      queue.posted.erase(it);
    }
    return true;
  }
  if (!withQuit || !queue.quit)
    return false;
  *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, timeGetTime(), {0, 0}};
  if (remove)
    queue.quit = false;
  return true;
}

bool ValidFilter(HWND window) {
  return !window || window == reinterpret_cast<HWND>(-1) || IsWindow(window);
}

} // namespace

namespace {

// A null window posts to the calling thread itself, as Windows does.
BOOL Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
          std::optional<uint64_t> dueFrame) {
  std::shared_ptr<ThreadQueue> queue;
  if (window) {
    DWORD thread;
    if (!emul::detail::WindowThread(window, &thread)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    queue = thread == GetCurrentThreadId() ? OwnQueue() : QueueOf(thread);
  } else {
    queue = OwnQueue();
  }
  {
    std::lock_guard guard(queue->lock);
    queue->posted.push_back(
        Posted{MSG{window, message, wParam, lParam, timeGetTime(), {0, 0}}, dueFrame});
  }
  queue->arrived.notify_all();
  return TRUE;
}

} // namespace

extern "C" BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Post(window, message, wParam, lParam, std::nullopt);
}

BOOL emul::PostMessageAtFrame(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              uint64_t dueFrame) {
  return Post(window, message, wParam, lParam, dueFrame);
}

bool emul::DispatchingDueFrame(uint64_t* dueFrame) {
  if (!dispatchingFrame)
    return false;
  *dueFrame = *dispatchingFrame;
  return true;
}

// 1 for a message, 0 for WM_QUIT, -1 for a bad argument. Waits while nothing matches.
extern "C" BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT first, UINT last) {
  if (!msg || !ValidFilter(window)) {
    SetLastError(msg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return -1;
  }
  std::shared_ptr<ThreadQueue> queue = OwnQueue();
  std::unique_lock guard(queue->lock);
  while (!Take(*queue, msg, window, first, last, true, true))
    queue->arrived.wait(guard);
  return msg->message != WM_QUIT;
}

extern "C" BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
  if (!msg || !ValidFilter(window)) {
    SetLastError(msg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<ThreadQueue> queue = OwnQueue();
  std::lock_guard guard(queue->lock);
  return Take(*queue, msg, window, first, last, (remove & PM_REMOVE) != 0, true);
}

// There are no keyboard messages to translate.
extern "C" BOOL WINAPI TranslateMessage(const MSG* msg) {
  return FALSE;
}

// Only the window's own thread may dispatch its messages; messages posted to no
// window are not dispatched.
extern "C" LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  DWORD thread;
  if (!msg || !msg->hwnd || !emul::detail::WindowThread(msg->hwnd, &thread)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (thread != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  // A message dispatched from inside another's procedure has its own frame, or none.
  const std::optional<uint64_t> outer = dispatchingFrame;
  dispatchingFrame = ClaimDueFrame(*msg);
  const LRESULT result = SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  dispatchingFrame = outer;
  return result;
}

extern "C" void WINAPI PostQuitMessage(int exitCode) {
  std::shared_ptr<ThreadQueue> queue = OwnQueue();
  {
    std::lock_guard guard(queue->lock);
    queue->quit = true;
    queue->quitCode = exitCode;
  }
  queue->arrived.notify_all();
}

// Leaves WM_QUIT waiting, so that a test or host can still see that it was posted.
size_t emul::PumpMessages() {
  std::shared_ptr<ThreadQueue> queue = OwnQueue();
  size_t count = 0;
  for (;;) {
    MSG msg;
    {
      std::lock_guard guard(queue->lock);
      if (!Take(*queue, &msg, nullptr, 0, 0, true, false))
        return count;
    }
    DispatchMessageA(&msg);
    ++count;
  }
}

namespace emul::detail {

void DiscardPostedMessages(DWORD thread, HWND window) {
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard guard(queuesLock);
    auto it = queues.find(thread);
    if (it == queues.end())
      return;
    queue = it->second;
  }
  std::lock_guard guard(queue->lock);
  std::erase_if(queue->posted, [window](const Posted& entry) { return entry.msg.hwnd == window; });
}

} // namespace emul::detail
