# Linux build: the POSIX platform layer and the zep tool (the build options are in
# host-options.cmake, which the top level reads before any target is made).
target_compile_options(zep_core PRIVATE -fno-exceptions -fno-rtti)

add_library(zep_platform_host STATIC
  platform/host_common.cpp
  platform/host_files.cpp
  platform/host_paths.cpp
  platform/host_faults.cpp
  platform/host_registry.cpp
  platform/host_shell.cpp
  platform/host_reset.cpp
)

# The Windows pieces that the zep tool builds into every self-extracting file. scripts/build builds
# the win32 tree first and passes its folder here; without it the tool needs --stub and --uninstaller.
set(ZEP_EMBED_DIR "" CACHE PATH "Folder holding the zepstub.exe and UInst.exe to build into the zep tool")
if(NOT ZEP_FUZZ)
  add_subdirectory(tools)
endif()
