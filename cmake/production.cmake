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
set(ZEP_PRODUCTION_COMPILE_OPTIONS
  -Oz -ffreestanding -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
  -fno-ident -ffunction-sections -fdata-sections -fno-stack-protector -fno-threadsafe-statics
  -fno-tree-loop-distribute-patterns -malign-data=abi -falign-functions=1 -falign-jumps=1 -falign-loops=1 -falign-labels=1
  -flto -ffat-lto-objects -mpreferred-stack-boundary=2 -fno-inline-functions-called-once -fno-jump-tables)

function(zep_production_flags target)
  target_compile_options(${target} PRIVATE ${ZEP_PRODUCTION_COMPILE_OPTIONS})
endfunction()
