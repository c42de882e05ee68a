# Linux build: the POSIX platform layer, the zep tool, optionally under the sanitizers.
option(ZEP_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ZEP_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()

target_compile_options(zep_core PRIVATE -fno-exceptions -fno-rtti)

add_library(zep_platform_host STATIC shell/host_platform.cpp)

# The Windows pieces that the zep tool builds into every self-extracting file. scripts/build builds
# the win32 tree first and passes its folder here; without it the tool needs --stub and --uninstaller.
set(ZEP_EMBED_DIR "" CACHE PATH "Folder holding the zepstub.exe and UInst.exe to build into the zep tool")
add_subdirectory(tools)
