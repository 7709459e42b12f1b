// kernel32: events and waits. One lock and one condition variable serve every
// event and every waiting thread; waits are short and few, so the simplicity
// is worth more than finer locking.
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "winapi/handles.h"
#include "winapi/standin_sync.h"
#include "winapi/windows.h"

namespace standin {
namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
// Counts message-queue wake-ups, so a waiter that probed the queue outside
// the lock still sees a message posted in between.
uint64_t g_message_generation = 0;
std::atomic<StandinMessageProbe> g_message_probe{nullptr};

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

}  // namespace
}  // namespace standin

using namespace standin;

StandinMessageProbe StandinSetMessageProbe(StandinMessageProbe has_messages) {
  return g_message_probe.exchange(has_messages);
}

void StandinWakeMessageWaiters() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_message_generation;
  }
  g_changed.notify_all();
}

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
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    event->state = true;
  }
  g_changed.notify_all();
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

// Waits for any of the events, or (when `messages`) for the calling thread's
// message queue to hold a message. Returns WAIT_OBJECT_0 + index,
// WAIT_OBJECT_0 + count for a message, or WAIT_TIMEOUT.
DWORD WaitAny(const std::vector<std::shared_ptr<EventObject>>& events, bool messages, DWORD timeout_ms) {
  const bool forever = timeout_ms == INFINITE;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeout_ms);
  std::unique_lock<std::mutex> lock(g_mutex);
  for (;;) {
    for (size_t i = 0; i < events.size(); ++i) {
      if (TryTake(*events[i])) return static_cast<DWORD>(WAIT_OBJECT_0 + i);
    }
    uint64_t generation = g_message_generation;
    if (messages) {
      // The probe takes the queue owner's lock, so it runs outside ours.
      lock.unlock();
      bool has = HasMessages();
      lock.lock();
      if (has) return static_cast<DWORD>(WAIT_OBJECT_0 + events.size());
      if (generation != g_message_generation) continue;
    }
    if (!forever && Clock::now() >= deadline) return WAIT_TIMEOUT;
    auto woke = [&] {
      if (messages && generation != g_message_generation) return true;
      for (const auto& e : events) {
        if (e->state) return true;
      }
      return false;
    };
    if (forever) {
      g_changed.wait(lock, woke);
    } else if (!g_changed.wait_until(lock, deadline, woke)) {
      return WAIT_TIMEOUT;
    }
  }
}

}  // namespace

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto event = LookupHandleAs<EventObject>(hHandle);
  if (!event) {
    // Only events can be waited on here.
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return WaitAny({event}, false, dwMilliseconds);
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
  std::vector<std::shared_ptr<EventObject>> events;
  for (DWORD i = 0; i < nCount; ++i) {
    auto event = LookupHandleAs<EventObject>(pHandles[i]);
    if (!event) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    events.push_back(event);
  }
  return WaitAny(events, dwWakeMask != 0, dwMilliseconds);
}
