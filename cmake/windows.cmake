# Windows build: i686, what ships, and the test programs that run it under wine.
include(${CMAKE_CURRENT_LIST_DIR}/production.cmake)

# Libraries are named per target; nothing is linked by default.
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")

set(ZEP_ENTRY_PREFIX "_")  # i686 symbols carry a leading underscore

# The installer is built smaller still, each measured on it (the uninstaller, built from
# uninstaller/main.cpp alone, gains nothing from them):
#   -fomit-frame-pointer    at -Oz this compiler keeps EBP in most functions: about 900 bytes;
#   -fno-early-inlining, -fno-code-hoisting, -fno-partial-inlining, -fno-tree-tail-merge
#                           fewer copies of code made for speed: about 200 bytes;
#   -fmerge-all-constants   one copy of each text that several files write alike ("%s%s", a caption):
#                           no code compares the addresses of two constants, which this would change;
#   -fno-defer-pop          each call's pushed arguments taken off right after it, mostly by a pop of one
#                           byte, rather than gathered into one adjustment later, meanwhile lengthening
#                           the offsets of everything else kept on the stack: about 80 bytes;
#   -fno-tree-ch, -fno-move-loop-invariants, -fno-tree-scev-cprop, -fno-if-conversion, -fno-shrink-wrap
#                           none of the loop and branch rewriting made for speed (a loop's test copied
#                           before it, values kept in registers across a loop or computed after it,
#                           branches turned into conditional moves, the prologue copied onto the paths
#                           that need it): about 80 bytes;
#   -fno-guess-branch-probability, -fno-tree-coalesce-vars
#                           the blocks laid out and the variables kept as written, which at -Oz this
#                           compiler turns out smaller: about 190 bytes (measured, as every figure here);
#   --param=max-inline-insns-single=400
#                           the small functions of the headers (BoundedText's, HeapBuffer's) inlined
#                           where that is smaller than the call with its argument set-up: about 80 bytes;
#   -fno-tree-ccp, -fno-tree-vrp, -fno-tree-loop-ivcanon, -fno-tree-loop-im
#                           constants and value ranges left to the other passes that find them, without
#                           the branches these two rewrite; loops' counters and the values computed in
#                           them kept as written: 28, 8, 20 and 12 bytes, 64 together (4 bytes more of
#                           relocations);
#   -mtune=pentium          instructions chosen for the Pentium rather than for today's processors, the
#                           shorter where they differ (every other -mtune measured the same or larger):
#                           28 bytes.
set(ZEP_INSTALLER_OPTIONS -mtune=pentium -fomit-frame-pointer -fno-early-inlining -fno-code-hoisting -fno-partial-inlining
  -fno-tree-tail-merge -fmerge-all-constants -fno-defer-pop -fno-tree-ch -fno-move-loop-invariants
  -fno-tree-scev-cprop -fno-if-conversion -fno-shrink-wrap -fno-guess-branch-probability -fno-tree-coalesce-vars
  --param=max-inline-insns-single=400 -fno-tree-ccp -fno-tree-vrp -fno-tree-loop-ivcanon -fno-tree-loop-im)
zep_production_flags(zep_core)
target_compile_options(zep_core PRIVATE ${ZEP_INSTALLER_OPTIONS})
# A few files of the installer come out smaller with one of those choices the other way round, each
# measured on the whole stub (about 140 bytes in all): the error messages' helpers with the functions
# they call once folded into them; the name checks, the extraction and the talk table without their
# small functions inlined; the string patch reader and the window with a frame pointer, which their
# many stack accesses then make through.
set_source_files_properties(platform/error_message.cpp PROPERTIES COMPILE_OPTIONS -finline-functions-called-once)
set_source_files_properties(archive/names.cpp archive/extraction.cpp dialog/talk_table.cpp
  PROPERTIES COMPILE_OPTIONS -fno-inline-small-functions)
set_source_files_properties(dialog/string_patch.cpp shell/main_window.cpp PROPERTIES COMPILE_OPTIONS -fno-omit-frame-pointer)
# The installation is made in storage zeroed first, so that its constructors' many writes of zeros
# can be left out (see install_addon): that needs the writes before a constructor to count, which
# with the default -flifetime-dse=2 they do not, the storage being taken as undefined until it runs.
set_source_files_properties(install/driver.cpp PROPERTIES COMPILE_OPTIONS -flifetime-dse=1)

# The real Win32 calls, one concern per file so that each program links only the DLLs it uses.
add_library(zep_platform_win32 STATIC
  platform/win32_files.cpp
  platform/win32_messages.cpp
  platform/win32_process.cpp
  platform/win32_registry.cpp
  platform/win32_shell.cpp
  platform/win32_controls.cpp
  platform/win32_dialogs.cpp
)
zep_production_flags(zep_platform_win32)
target_compile_options(zep_platform_win32 PRIVATE ${ZEP_INSTALLER_OPTIONS})

# The few pieces of a runtime that the compiler's output needs (memcpy, operator new, ...).
add_library(zep_runtime OBJECT platform/runtime_win32.cpp)
zep_production_flags(zep_runtime)
target_compile_options(zep_runtime PRIVATE ${ZEP_INSTALLER_OPTIONS})

# Linking without start-up code or libraries: our own entry point, unreferenced sections dropped,
# symbols stripped, optimised as a whole, and marked for DEP (no code runs from its data). The
# installer, which reads what others wrote, also gets a randomised base (ASLR), which needs its
# relocations; the uninstaller keeps a fixed base and no relocation section, for its 4,096 bytes.
set(ZEP_PROGRAM_LINK_OPTIONS ${ZEP_PRODUCTION_LINK_OPTIONS}
  -nostdlib -nostartfiles -s -Wl,--gc-sections -Wl,--nxcompat -Wl,--subsystem,windows)
function(zep_windows_program target entry)
  zep_production_flags(${target})
  target_link_options(${target} PRIVATE ${ZEP_PROGRAM_LINK_OPTIONS} -Wl,-e,${ZEP_ENTRY_PREFIX}${entry} ${ARGN})
endfunction()

enable_language(RC)
# The installer stub. Its entry, zep_packed_entry (shell/packed_entry.cpp), unpacks the constants
# that cmake/pack-constants packs, last after linking (see cmake/zepstub.ld); before that, the stub
# as linked is kept as zepstub-unpacked.exe, for the tests relocations_agree and packed_constants_agree.
add_executable(zepstub shell/main_window.cpp shell/packed_entry.cpp shell/zepstub.rc $<TARGET_OBJECTS:zep_runtime>)
set_source_files_properties(shell/zepstub.rc PROPERTIES OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/shell/zepstub.manifest)
target_compile_options(zepstub PRIVATE ${ZEP_INSTALLER_OPTIONS})
zep_windows_program(zepstub zep_packed_entry ${ZEP_INSTALLER_OPTIONS} -Wl,--dynamicbase
  -Wl,-T,${CMAKE_CURRENT_LIST_DIR}/zepstub.ld -Wl,-Map,${CMAKE_CURRENT_BINARY_DIR}/zepstub.map)
set_target_properties(zepstub PROPERTIES
  LINK_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/zepstub.ld;${CMAKE_CURRENT_LIST_DIR}/set-import-directory;${CMAKE_CURRENT_LIST_DIR}/set-relocation-directory;${CMAKE_CURRENT_LIST_DIR}/move-import-names;${CMAKE_CURRENT_LIST_DIR}/pack-constants")
add_custom_command(TARGET zepstub POST_BUILD
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/set-import-directory $<TARGET_FILE:zepstub> ${CMAKE_CURRENT_BINARY_DIR}/zepstub.map
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/set-relocation-directory $<TARGET_FILE:zepstub> ${CMAKE_CURRENT_BINARY_DIR}/zepstub.map
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/move-import-names $<TARGET_FILE:zepstub> ${CMAKE_CURRENT_BINARY_DIR}/zepstub.map
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zepstub> ${CMAKE_CURRENT_BINARY_DIR}/zepstub-unpacked.exe
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/pack-constants $<TARGET_FILE:zepstub> ${CMAKE_CURRENT_BINARY_DIR}/zepstub.map
  VERBATIM)
add_executable(zepstub_reference shell/main_window.cpp shell/packed_entry.cpp shell/zepstub.rc
  $<TARGET_OBJECTS:zep_runtime>)
target_compile_options(zepstub_reference PRIVATE ${ZEP_INSTALLER_OPTIONS})
zep_windows_program(zepstub_reference zep_packed_entry ${ZEP_INSTALLER_OPTIONS} -Wl,--dynamicbase
  -Wl,-T,${CMAKE_CURRENT_LIST_DIR}/zepstub-reference.ld)
set_target_properties(zepstub_reference PROPERTIES LINK_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/zepstub-reference.ld)
target_link_libraries(zepstub PRIVATE zep_core zep_platform_win32
  kernel32 user32 gdi32 comdlg32 advapi32 shell32 ole32 uuid gcc)
target_link_libraries(zepstub_reference PRIVATE zep_core zep_platform_win32
  kernel32 user32 gdi32 comdlg32 advapi32 shell32 ole32 uuid gcc)

# The uninstaller calls Windows itself (see uninstaller/main.cpp) and needs only the shared line rules
# of zep_core, not even the runtime pieces. Its one section holds everything (cmake/uninstaller.ld).
# After linking, the import directory's entry is written, the import names are packed into the
# headers' unused bytes, and the zeros at the section's end are left out of the file (see
# cmake/set-import-directory); the program relinks when either file changes.
add_executable(UInst uninstaller/main.cpp uninstaller/UInst.rc)
set_source_files_properties(uninstaller/UInst.rc PROPERTIES OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/uninstaller/UInst.manifest)
zep_windows_program(UInst uninstall_entry -Wl,--disable-reloc-section -Wl,--disable-dynamicbase -Wl,-T,${CMAKE_CURRENT_LIST_DIR}/uninstaller.ld
  -Wl,-Map,${CMAKE_CURRENT_BINARY_DIR}/UInst.map)
set_target_properties(UInst PROPERTIES
  LINK_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/uninstaller.ld;${CMAKE_CURRENT_LIST_DIR}/set-import-directory")
add_custom_command(TARGET UInst POST_BUILD
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/set-import-directory $<TARGET_FILE:UInst> ${CMAKE_CURRENT_BINARY_DIR}/UInst.map
          --pack-imports
  VERBATIM)
# Everything in uninstaller/main.cpp is used, and in one section it is not padded function by function.
# Its one run is smaller with the functions it calls once folded into it. With -fno-tree-coalesce-vars
# GCC keeps the run's variables apart as it leaves SSA form rather than merging them, which happens to
# suit its register allocation here: 16 bytes less, measured with GCC 12 (the link, which compiles the
# program as a whole, keeps the options each function was compiled with).
set_source_files_properties(uninstaller/main.cpp PROPERTIES COMPILE_OPTIONS
  "-fno-function-sections;-fno-data-sections;-finline-functions-called-once;-fno-tree-coalesce-vars")
target_link_libraries(UInst PRIVATE zep_core kernel32 user32 advapi32 gcc)

# The zep tool as a Windows console program, with the programs above built into it.
include(${CMAKE_CURRENT_LIST_DIR}/windows-tool.cmake)
