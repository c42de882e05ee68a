/* Run by scripts/setup and scripts/test on the Linux machine itself: says whether this machine runs
 * 32-bit x86 code inside a 64-bit process, which is all that wine's WoW64 mode needs of it. A child
 * process switches to the 32-bit user code segment with a stack below 4 GB, and its 32-bit code
 * switches back to 64-bit code that exits with 42. Prints "32-bit code runs" and exits 0 when it
 * does; otherwise prints how the child ended and exits 1. */
#define _GNU_SOURCE
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

static void run_32bit_code(void) {
  unsigned char *low = mmap(NULL, 2 * 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (low == MAP_FAILED) _exit(2);
  unsigned int back = (unsigned int)(unsigned long)(low + 16);
  unsigned char code[] = {
      /* 32-bit, at low: push 0x33; push back; retf */
      0x6A, 0x33, 0x68, (unsigned char)back, (unsigned char)(back >> 8),
      (unsigned char)(back >> 16), (unsigned char)(back >> 24), 0xCB,
      0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90,
      /* 64-bit, at low + 16: exit_group(42) */
      0xBF, 42, 0, 0, 0, 0xB8, 231, 0, 0, 0, 0x0F, 0x05};
  memcpy(low, code, sizeof code);
  unsigned long stack = (unsigned long)(low + 2 * 4096 - 16);
  __asm__ volatile("mov %0, %%rsp\n\t"
                   "pushq $0x23\n\t"
                   "pushq %1\n\t"
                   "lretq\n\t"
                   :
                   : "r"(stack), "r"((unsigned long)low)
                   : "memory");
  __builtin_unreachable();
}

int main(void) {
  pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) run_32bit_code();
  int status = 0;
  if (waitpid(child, &status, 0) != child) return 1;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 42) {
    puts("32-bit code runs");
    return 0;
  }
  if (WIFSIGNALED(status))
    printf("32-bit code does not run: the process was ended by signal %d (%s)\n", WTERMSIG(status),
           strsignal(WTERMSIG(status)));
  else
    printf("32-bit code does not run: the process exited with %d\n", WEXITSTATUS(status));
  return 1;
}
