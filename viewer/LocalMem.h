#pragma once

// Movable local memory blocks shared by the picture-decoder plug-ins and the program that hosts them:
// a plug-in allocates the blocks it hands back, the host locks, reads and frees them.
//
// A handle is a small number, never an address, so that a broken plug-in handing back garbage makes
// LocalLock fail instead of letting the host read from wherever the garbage points.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t HLOCAL;

#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)

#define PELMOR_LOCALMEM_EXPORT __attribute__((visibility("default")))

// A new block of bytes bytes (zeroed with LMEM_ZEROINIT); 0 when it cannot be had.
PELMOR_LOCALMEM_EXPORT HLOCAL LocalAlloc(unsigned flags, size_t bytes);
// The block's first byte, counting one more lock; null for a handle that is not a live block.
PELMOR_LOCALMEM_EXPORT void *LocalLock(HLOCAL mem);
// Counts one lock less; non-zero while the block stays locked.
PELMOR_LOCALMEM_EXPORT int LocalUnlock(HLOCAL mem);
// Releases the block: 0 on success, the handle itself when it is not a live block.
PELMOR_LOCALMEM_EXPORT HLOCAL LocalFree(HLOCAL mem);
// The block's size in bytes; 0 for a handle that is not a live block.
PELMOR_LOCALMEM_EXPORT size_t LocalSize(HLOCAL mem);

#ifdef __cplusplus
}
#endif
