// kernel32: events and waits. One lock and one condition variable serve every
// event and every waiting thread; waits are short and few, so the simplicity
// is worth more than finer locking. A wait on the console input handle of a
// terminal sleeps in poll(2) instead, on the terminal and on a wake-up
// descriptor of its thread that every change pokes.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <vector>

#include "winapi/file_object.h"
#include "winapi/handles.h"
#include "winapi/standin_sync.h"
#include "winapi/windows.h"

namespace standin {
namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
// Counts wake-ups of the message and console queues, so a waiter that
// probed a queue outside the lock still sees what was added in between.
uint64_t g_queue_generation = 0;
std::atomic<StandinMessageProbe> g_message_probe{nullptr};
// The wake-up descriptors of the threads sleeping in poll(2); guarded by g_mutex.
std::set<int> g_poll_waiters;

class EventObject : public HandleObject {
 public:
  EventObject(bool manual, bool signalled) : manual_reset(manual), state(signalled) {}
  const bool manual_reset;
  bool state;  // guarded by g_mutex
};

using Clock = std::chrono::steady_clock;

// Takes a signalled event as a wait does: an auto-reset event goes back to
// non-signalled for the one waiter that gets it. Caller holds g_mutex.
bool TryTake(EventObject& event) {
  if (!event.state) return false;
  if (!event.manual_reset) event.state = false;
  return true;
}

bool HasMessages() {
  auto probe = g_message_probe.load();
  return probe && probe(GetCurrentThreadId());
}

// Wakes every waiter after a change made under g_mutex (which the caller
// has let go of); `poll_waiters` is the set as it was under the lock.
void WakeAll(const std::set<int>& poll_waiters) {
  g_changed.notify_all();
  const uint64_t one = 1;
  for (int fd : poll_waiters) {
    ssize_t ignored = write(fd, &one, sizeof one);
    (void)ignored;
  }
}

void WakeQueueWaiters() {
  std::set<int> poll_waiters;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_queue_generation;
    poll_waiters = g_poll_waiters;
  }
  WakeAll(poll_waiters);
}

// This thread's wake-up descriptor (an eventfd), made on its first poll wait.
int ThreadWakeFd() {
  struct Fd {
    int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ~Fd() {
      if (fd >= 0) close(fd);
    }
  };
  thread_local Fd own;
  return own.fd;
}

}  // namespace
}  // namespace standin

using namespace standin;

StandinMessageProbe StandinSetMessageProbe(StandinMessageProbe has_messages) {
  return g_message_probe.exchange(has_messages);
}

void StandinWakeMessageWaiters() { WakeQueueWaiters(); }

void StandinWakeConsoleWaiters() { WakeQueueWaiters(); }

DWORD WINAPI GetCurrentThreadId(void) {
  thread_local DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
  return id;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName) {
  (void)lpEventAttributes;
  if (lpName && *lpName) {
    // Named events would be shared between processes; the stand-in has none.
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  HANDLE h = RegisterHandle(std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE));
  SetLastError(ERROR_SUCCESS);
  return h;
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  auto event = LookupHandleAs<EventObject>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::set<int> poll_waiters;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    event->state = true;
    poll_waiters = g_poll_waiters;
  }
  WakeAll(poll_waiters);
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  auto event = LookupHandleAs<EventObject>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  event->state = false;
  return TRUE;
}

namespace {

// One handle of a wait: an event, or the console input (no event).
struct Waitable {
  std::shared_ptr<EventObject> event;
};

// The handle of a wait as a Waitable, or false with ERROR_INVALID_HANDLE.
bool ToWaitable(HANDLE h, Waitable* out) {
  out->event = LookupHandleAs<EventObject>(h);
  if (out->event) return true;
  auto file = LookupHandleAs<FileObject>(h);
  if (file && file->console_input) return true;
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

// Sleeps until poll(2) sees input on `fd` or this thread's wake-up
// descriptor is poked, or `timeout_ms` (-1: no limit) has passed. Called
// with `lock` held, after the caller's last look; returns with it held.
void SleepInPoll(std::unique_lock<std::mutex>& lock, int fd, int timeout_ms) {
  const int wake = ThreadWakeFd();
  g_poll_waiters.insert(wake);
  lock.unlock();
  struct pollfd fds[2] = {{wake, POLLIN, 0}, {fd, POLLIN, 0}};
  poll(fds, 2, timeout_ms);
  uint64_t count = 0;
  ssize_t ignored = read(wake, &count, sizeof count);
  (void)ignored;
  lock.lock();
  g_poll_waiters.erase(wake);
}

// Waits for any of the handles, or (when `messages`) for the calling
// thread's message queue to hold a message. Returns WAIT_OBJECT_0 + index
// (an event is taken as a wait takes it; the console input is signalled
// while input waits, and stays so), WAIT_OBJECT_0 + count for a message, or
// WAIT_TIMEOUT.
DWORD WaitAny(const std::vector<Waitable>& handles, bool messages, DWORD timeout_ms) {
  const bool forever = timeout_ms == INFINITE;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeout_ms);
  size_t console = handles.size();  // index of the console input; size() for none
  for (size_t i = 0; i < handles.size() && console == handles.size(); ++i) {
    if (!handles[i].event) console = i;
  }
  std::unique_lock<std::mutex> lock(g_mutex);
  for (;;) {
    for (size_t i = 0; i < handles.size(); ++i) {
      if (handles[i].event && TryTake(*handles[i].event)) return static_cast<DWORD>(WAIT_OBJECT_0 + i);
    }
    uint64_t generation = g_queue_generation;
    int fd = -1;
    bool look_again = false;
    if (messages || console < handles.size()) {
      // The probes take the queues' own locks, so they run outside ours.
      lock.unlock();
      const bool input = console < handles.size() && StandinConsoleInputWaiting();
      const bool message = messages && !input && HasMessages();
      if (console < handles.size() && !input) fd = StandinConsoleInputFd(&look_again);
      lock.lock();
      if (input) return static_cast<DWORD>(WAIT_OBJECT_0 + console);
      if (message) return static_cast<DWORD>(WAIT_OBJECT_0 + handles.size());
      if (generation != g_queue_generation) continue;
    }
    const Clock::time_point now = Clock::now();
    if (!forever && now >= deadline) return WAIT_TIMEOUT;
    auto woke = [&] {
      if (generation != g_queue_generation) return true;
      for (const Waitable& h : handles) {
        if (h.event && h.event->state) return true;
      }
      return false;
    };
    // An event set while the probes ran has poked nobody yet.
    if (woke()) continue;
    // A terminal that another job reads now is looked at again each second;
    // one that cannot be slept on (no wake-up descriptor) every 20 ms.
    std::chrono::milliseconds recheck{0};
    if (look_again) recheck = std::chrono::seconds(1);
    if (fd >= 0 && ThreadWakeFd() < 0) {
      fd = -1;
      recheck = std::chrono::milliseconds(20);
    }
    const bool limited = !forever || recheck.count() > 0;
    const Clock::time_point until =
        recheck.count() > 0 && (forever || deadline - now > recheck) ? now + recheck : deadline;
    if (fd >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
      SleepInPoll(lock, fd, limited ? static_cast<int>(left) : -1);
    } else if (!limited) {
      g_changed.wait(lock, woke);
    } else {
      g_changed.wait_until(lock, until, woke);
    }
  }
}

}  // namespace

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  Waitable handle;
  if (!ToWaitable(hHandle, &handle)) return WAIT_FAILED;
  return WaitAny({handle}, false, dwMilliseconds);
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll, DWORD dwMilliseconds,
                                       DWORD dwWakeMask) {
  constexpr DWORD kMaximumWaitObjects = 64;
  if (nCount > kMaximumWaitObjects || (nCount && !pHandles)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  if (fWaitAll && nCount > 0) {
    // Waiting for all events and a message together is not simulated.
    SetLastError(ERROR_NOT_SUPPORTED);
    return WAIT_FAILED;
  }
  std::vector<Waitable> handles(nCount);
  for (DWORD i = 0; i < nCount; ++i) {
    if (!ToWaitable(pHandles[i], &handles[i])) return WAIT_FAILED;
  }
  return WaitAny(handles, dwWakeMask != 0, dwMilliseconds);
}
