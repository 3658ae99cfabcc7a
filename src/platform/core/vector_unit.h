// The processor's vector registers between libraries.
#pragma once

namespace cpu {

// Clears the upper halves of the AVX registers, as code built for AVX does
// on leaving. Qt's hash table does not (QHash::insert, which the option
// parser and the settings use), and until they are cleared every SSE
// instruction of code built without AVX, SQLite's and ours, waits on them:
// SQLite then took half as long again (PRAGMA quick_check of a 0.5 GB file,
// 0.80 against 0.51 s). Called before SQLite's long work; costs a few cycles
// and does nothing on a processor without AVX.
void settleVectorUnit();

}  // namespace cpu
