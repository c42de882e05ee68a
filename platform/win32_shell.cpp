// COM, the folder browser, opening files through the shell, and shortcut files (shell32, ole32).
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shellapi.h>

#include "platform/platform.h"

namespace zep {
namespace {

// The three interface identifiers, spelled out here so that no GUID library has to be linked.
const GUID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kIidShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

}  // namespace

void com_initialize() { CoInitialize(nullptr); }
void com_uninitialize() { CoUninitialize(); }

bool choose_folder(WindowRef owner, const char* title, char* path) {
  char display_name[512];
  display_name[0] = 0;
  BROWSEINFOA info = {};
  info.hwndOwner = reinterpret_cast<HWND>(owner);
  info.pszDisplayName = display_name;
  info.lpszTitle = title;
  path[0] = 0;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info);
  if (item == nullptr) return false;
  SHGetPathFromIDListA(item, path);
  CoTaskMemFree(item);
  return path[0] != 0;
}

void open_with_shell(WindowRef owner, const char* path) {
  ShellExecuteA(reinterpret_cast<HWND>(owner), "open", path, nullptr, ".", SW_SHOW);
}

ShellLinkResult make_shell_link(const char* target, const char* arguments, const char* description,
                                const char* link_path) {
  IShellLinkA* link = nullptr;
  HRESULT result = CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkA,
                                    reinterpret_cast<void**>(&link));
  if (FAILED(result)) return {result, false};
  link->SetPath(target);
  link->SetDescription(description);
  link->SetArguments(arguments);
  IPersistFile* file = nullptr;
  result = link->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&file));
  if (FAILED(result)) {
    link->Release();
    return {result, false};
  }
  WCHAR wide_path[kMaxPath];
  wide_path[0] = 0;
  MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, link_path, -1, wide_path, kMaxPath);
  result = file->Save(wide_path, TRUE);
  file->Release();
  link->Release();
  return {result, true};
}

}  // namespace zep
