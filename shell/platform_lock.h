// A lock between the host's thread and the threads the system calls the
// plug-in on (the remote access service's notifier): a critical section,
// which both Windows families provide. (The runtime's std::mutex is no
// substitute: its Windows build makes a semaphore with CreateSemaphoreW,
// which the 95 family does not implement.)
#pragma once

#include "shell/platform.h"

class PlatformLock {
 public:
  PlatformLock() { InitializeCriticalSection(&section_); }
  ~PlatformLock() { DeleteCriticalSection(&section_); }
  PlatformLock(const PlatformLock&) = delete;
  PlatformLock& operator=(const PlatformLock&) = delete;

  // Holds the lock for its own lifetime. The thread that holds it may take
  // it again (a critical section counts its entries).
  class Hold {
   public:
    explicit Hold(PlatformLock& lock) : lock_(lock) { EnterCriticalSection(&lock_.section_); }
    ~Hold() { LeaveCriticalSection(&lock_.section_); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    PlatformLock& lock_;
  };

 private:
  CRITICAL_SECTION section_;
};
