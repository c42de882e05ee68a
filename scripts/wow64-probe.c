/* Run by scripts/setup inside the WoW64 root: a 32-bit Windows program that says whether it runs as
 * one. It prints "pointer 4, WoW64 1" and exits 0 when it is a 32-bit process under 64-bit Windows
 * (wine's new WoW64 mode), and exits 1 otherwise. */
#include <windows.h>
#include <stdio.h>

int main(void) {
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64)) wow64 = FALSE;
  printf("pointer %u, WoW64 %d\n", (unsigned)sizeof(void *), wow64 ? 1 : 0);
  return sizeof(void *) == 4 && wow64 ? 0 : 1;
}
