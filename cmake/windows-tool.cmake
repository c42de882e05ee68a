# The zep tool for Windows, a console program linked -static with the MinGW standard library. Both
# Windows trees build it: win32 (i686, beside the shipping programs, from windows.cmake) and win64
# (x86_64, the tool alone, from the top-level CMakeLists.txt).
#
# Its platform layer: the real Win32 file functions, and for what a console program has no use of
# (message boxes, the list control, the folder and Save As choosers, the registry, the shell) the
# in-memory and terminal implementation that the Linux tool uses (see platform/host_platform.h).
# Built with the tool's own options, not the shipping programs' (see production.cmake).
add_library(zep_platform_console STATIC
  platform/win32_files.cpp
  platform/win32_console.cpp
  platform/host_common.cpp
  platform/host_registry.cpp
  platform/host_shell.cpp
)

# The win64 tree builds the win32 tree's programs into its tool (scripts/build names out/win32); the
# win32 tree builds its own.
set(ZEP_EMBED_DIR "" CACHE PATH "Folder holding the zepstub.exe and UInst.exe to build into the zep tool")
add_subdirectory(tools)
