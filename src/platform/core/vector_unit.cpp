// The processor's vector registers between libraries.
#include "platform/core/vector_unit.h"

namespace cpu {

void settleVectorUnit() {
#if defined(__x86_64__) || defined(__i386__)
  // VZEROUPPER is an invalid instruction without AVX; the check reads what
  // the processor and the kernel both support.
  static const bool avx = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
  }();
  if (avx) asm volatile("vzeroupper");
#endif
}

}  // namespace cpu
