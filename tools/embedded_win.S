/* The shipping programs, taken byte for byte into the Windows tool's read-only data (a COFF section).
   The names are those that embedded.cpp declares: i686 C names carry a leading underscore, x86_64 ones
   do not, and __USER_LABEL_PREFIX__ is that prefix for the target being built. */
#define ZEP_GLUE_PLAIN(a, b) a##b
#define ZEP_GLUE(a, b) ZEP_GLUE_PLAIN(a, b)
#define ZEP_SYMBOL(name) ZEP_GLUE(__USER_LABEL_PREFIX__, name)
    .section .rdata,"dr"
    .balign 16
    .globl ZEP_SYMBOL(zep_embedded_stub_begin), ZEP_SYMBOL(zep_embedded_stub_end)
ZEP_SYMBOL(zep_embedded_stub_begin):
    .incbin ZEP_EMBED_STUB
ZEP_SYMBOL(zep_embedded_stub_end):
    .balign 16
    .globl ZEP_SYMBOL(zep_embedded_uninstaller_begin), ZEP_SYMBOL(zep_embedded_uninstaller_end)
ZEP_SYMBOL(zep_embedded_uninstaller_begin):
    .incbin ZEP_EMBED_UINST
ZEP_SYMBOL(zep_embedded_uninstaller_end):
