// kernel32: critical sections, the in-process lock that both Windows
// families provide. Each section owns a recursive mutex, as a critical
// section may be entered again by the thread that holds it.
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "winapi/windows.h"

namespace {

std::recursive_mutex& MutexOf(LPCRITICAL_SECTION section, const char* call) {
  if (section == nullptr || section->DebugInfo == nullptr) {
    // Windows gives no error here: the process would corrupt memory or
    // hang. The stand-in stops at once, naming the call, instead.
    std::fprintf(stderr, "winapi stand-in: %s on a critical section that is not initialised\n", call);
    std::abort();
  }
  return *static_cast<std::recursive_mutex*>(section->DebugInfo);
}

}  // namespace

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  *lpCriticalSection = CRITICAL_SECTION{};
  lpCriticalSection->LockCount = -1;
  lpCriticalSection->DebugInfo = new std::recursive_mutex;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  MutexOf(lpCriticalSection, "EnterCriticalSection").lock();
  // Only the owner writes the counts, and only while it holds the lock.
  ++lpCriticalSection->RecursionCount;
  lpCriticalSection->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  std::recursive_mutex& mutex = MutexOf(lpCriticalSection, "LeaveCriticalSection");
  if (--lpCriticalSection->RecursionCount == 0) lpCriticalSection->OwningThread = nullptr;
  mutex.unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  delete &MutexOf(lpCriticalSection, "DeleteCriticalSection");
  lpCriticalSection->DebugInfo = nullptr;
}
