// Records the call stack of every throw: the C++ runtime's throw entry is
// wrapped, the stack is captured, and the runtime's own entry is called.
// Builds with a sanitizer keep the sanitizer's wrapper instead.
#include <dlfcn.h>
#include <execinfo.h>

#include <typeinfo>

#include "foundation/throw_record.h"

namespace zun {

thread_local ThrowRecord tl_throw_record;

ThrowRecord& UltimaExcecao() { return tl_throw_record; }

}  // namespace zun

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || \
    __has_feature(thread_sanitizer)
#define ZUN_NO_THROW_HOOK 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZUN_NO_THROW_HOOK 1
#endif

#ifndef ZUN_NO_THROW_HOOK
extern "C" {
[[noreturn]] void __cxa_throw(void* obj, std::type_info* type, void (*dest)(void*)) {
  using ThrowFn = void (*)(void*, std::type_info*, void (*)(void*));
  static ThrowFn real = reinterpret_cast<ThrowFn>(dlsym(RTLD_NEXT, "__cxa_throw"));
  zun::ThrowRecord& rec = zun::tl_throw_record;
  rec.count = backtrace(rec.frames, zun::ThrowRecord::kMaxFrames);
  real(obj, type, dest);
  __builtin_unreachable();
}
}
#endif
