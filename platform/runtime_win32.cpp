// The runtime pieces that compiled C++ needs even without a runtime library, for zepstub.exe and
// UInst.exe only (the test programs use the real runtime).
//
// GCC emits calls to memcpy, memset, memmove and memcmp for structure copies, zero-initialisation
// and simple loops, whatever the source says; they are defined here as plain byte loops. This file
// is compiled with -fno-tree-loop-distribute-patterns, so the loops are not turned back into calls
// to themselves.
#include <windows.h>

#include <stddef.h>

extern "C" {

void* memcpy(void* to, const void* from, size_t length) {
  unsigned char* out = static_cast<unsigned char*>(to);
  const unsigned char* in = static_cast<const unsigned char*>(from);
  while (length-- != 0) *out++ = *in++;
  return to;
}

void* memmove(void* to, const void* from, size_t length) {
  unsigned char* out = static_cast<unsigned char*>(to);
  const unsigned char* in = static_cast<const unsigned char*>(from);
  if (out < in) {
    while (length-- != 0) *out++ = *in++;
  } else {
    while (length-- != 0) out[length] = in[length];
  }
  return to;
}

void* memset(void* to, int value, size_t length) {
  unsigned char* out = static_cast<unsigned char*>(to);
  while (length-- != 0) *out++ = static_cast<unsigned char>(value);
  return to;
}

int memcmp(const void* a, const void* b, size_t length) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (; length != 0; --length, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

}  // extern "C"

// Objects made with new live on the process heap, zero-filled, as every other block (see
// platform/win32_process.cpp). A failed allocation yields null; there are no exceptions to throw.
void* operator new(size_t length) noexcept { return LocalAlloc(LPTR, length); }
void* operator new[](size_t length) noexcept { return LocalAlloc(LPTR, length); }
void operator delete(void* block) noexcept { LocalFree(block); }
void operator delete[](void* block) noexcept { LocalFree(block); }
void operator delete(void* block, size_t) noexcept { LocalFree(block); }
void operator delete[](void* block, size_t) noexcept { LocalFree(block); }
