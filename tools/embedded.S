/* The shipping programs, taken byte for byte into the tool's read-only data. */
    .section .rodata
    .balign 16
    .globl zep_embedded_stub_begin, zep_embedded_stub_end
zep_embedded_stub_begin:
    .incbin ZEP_EMBED_STUB
zep_embedded_stub_end:
    .balign 16
    .globl zep_embedded_uninstaller_begin, zep_embedded_uninstaller_end
zep_embedded_uninstaller_begin:
    .incbin ZEP_EMBED_UINST
zep_embedded_uninstaller_end:
    .section .note.GNU-stack,"",@progbits
