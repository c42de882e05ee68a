# Compiler settings for code that goes into zepstub.exe and UInst.exe: C++ without its runtime
# library. No exceptions or RTTI (nothing to unwind, no type tables), no unwind tables (they only
# cost bytes), every function and datum in its own section so that the linker drops what no entry
# point reaches, no stack protector or thread-safe statics, which would call into a runtime, and data
# aligned only as the ABI needs (GCC would pad every larger array to 32 bytes). Everything is also
# compiled for link-time optimisation, so that each program is optimised for size as a whole when it
# is linked (the objects keep their ordinary code too, for the test programs that link them as usual).
# The stack is kept aligned to 4 bytes, all that 32-bit Windows promises, rather than 16, which
# saves realigning it in every function that keeps something there. A function called from one
# place is not inlined there only for being called once: in the installer that inlining costs more
# bytes (large callers grow their frames and register saves) than the calls it saves. -Oz rather
# than -Os: the programs spend their time in file calls, not in their own code. A switch becomes
# compares rather than a table of addresses, each of which would need a relocation in the installer.
#
# Stack probing is off. MinGW's i686 compiler turns it on by default, and with it
# -maccumulate-outgoing-args, which stores every argument with a move into a frame reserved in advance
# and must correct the stack after each __stdcall call: pushing the arguments instead saves about 2 KB
# in the installer. A probe is needed only by a frame of a page (4 KB) or more, which could otherwise
# step past the stack's guard page: no frame of these programs may reach 4,000 bytes, checked both
# when each file is compiled and when the program is optimised as a whole at its link
# (tests/scripts/check-frame-guard shows that such a frame stops the build).
set(ZEP_PRODUCTION_COMPILE_OPTIONS
  -Oz -ffreestanding -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
  -fno-ident -ffunction-sections -fdata-sections -fno-stack-protector -fno-threadsafe-statics
  -fno-tree-loop-distribute-patterns -malign-data=abi -falign-functions=1 -falign-jumps=1 -falign-loops=1 -falign-labels=1
  -flto -ffat-lto-objects -mpreferred-stack-boundary=2 -fno-inline-functions-called-once -fno-jump-tables
  -mno-stack-arg-probe -Werror=frame-larger-than=4000)

# What the link of such a program repeats, as it is where the whole program is compiled.
set(ZEP_PRODUCTION_LINK_OPTIONS -flto -Oz -mno-stack-arg-probe -Werror=frame-larger-than=4000)

function(zep_production_flags target)
  target_compile_options(${target} PRIVATE ${ZEP_PRODUCTION_COMPILE_OPTIONS})
endfunction()
