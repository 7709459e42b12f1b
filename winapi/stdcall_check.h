// Calls a function of the Windows API calling convention (WINAPI, stdcall)
// and tells whether it kept that convention: a stdcall function removes its
// own arguments from the stack, so the stack pointer after the call is the
// one before it. A function built as cdecl leaves them there, and nothing
// else shows it: the caller's frame pointer hides the difference. kelhost
// calls every export of the plug-in this way, and the test remote access
// library every notifier it was given.
//
// Only 32-bit x86 has two conventions; elsewhere (x86-64, Linux) the call is
// a plain call and the difference is always 0.
#pragma once

#include <cstdint>
#include <type_traits>

#if defined(__i386__)
// One argument as the 32-bit word that is pushed for it.
template <typename T>
std::uintptr_t WordOf(T value) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<std::uintptr_t>(value);
  } else {
    return static_cast<std::uintptr_t>(value);
  }
}
#endif

// Calls `fn(args...)` and returns its result. `stack_left` is set to the
// number of bytes by which the callee changed the stack pointer less than
// stdcall requires: 0 for a stdcall callee, the size of the arguments for a
// cdecl one, negative for a callee that removed more than it was given.
template <typename Fn, typename... Args>
auto CallCheckingStack(Fn fn, long& stack_left, Args... args) -> std::invoke_result_t<Fn, Args...> {
  stack_left = 0;
#if defined(__i386__)
  using Result = std::invoke_result_t<Fn, Args...>;
  static_assert(((sizeof(Args) == sizeof(std::uintptr_t)) && ...), "every argument is one machine word");
  static_assert(sizeof(std::conditional_t<std::is_void_v<Result>, int, Result>) <= sizeof(std::uintptr_t),
                "the result comes in EAX");
  // The arguments as the words the callee finds on the stack, first at the
  // lowest address.
  std::uintptr_t words[sizeof...(Args) + 1] = {WordOf(args)...};
  std::uintptr_t eax = reinterpret_cast<std::uintptr_t>(fn);
  std::uintptr_t ecx = sizeof...(Args);
  const std::uintptr_t* esi = words;
  // EDI keeps the stack pointer from before the arguments were pushed (the
  // callee preserves EDI in either convention); afterwards ECX is that value
  // less the stack pointer the callee left, and the stack pointer is put back.
  __asm__ volatile(
      "movl %%esp, %%edi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "decl %%ecx\n\t"
      "pushl (%%esi,%%ecx,4)\n\t"
      "jmp 1b\n"
      "2:\n\t"
      "call *%%eax\n\t"
      "movl %%edi, %%ecx\n\t"
      "subl %%esp, %%ecx\n\t"
      "movl %%edi, %%esp\n\t"
      : "+a"(eax), "+c"(ecx), "+S"(esi)
      :
      : "edx", "edi", "memory", "cc");
  stack_left = static_cast<long>(static_cast<std::intptr_t>(ecx));
  if constexpr (std::is_pointer_v<Result>) {
    return reinterpret_cast<Result>(eax);
  } else if constexpr (!std::is_void_v<Result>) {
    return static_cast<Result>(eax);
  }
#else
  return fn(args...);
#endif
}
