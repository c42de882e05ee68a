// The Save As dialog of the extraction (comdlg32).
#include <windows.h>
#include <commdlg.h>

#include "platform/platform.h"

namespace zep {

bool choose_save_file(char* path) {
  path[0] = 0;
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = nullptr;  // ownerless: the main window stays usable while it is open
  dialog.lpstrFilter = "ZEP files(*.ZEP)\0*.zep\0";
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path;
  dialog.nMaxFile = kMaxPath;
  dialog.lpstrDefExt = "zep";
  // Prompt before overwriting, hide the read-only box, keep the current directory, the path must
  // exist, prompt before creating, explorer style, long names.
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                 OFN_CREATEPROMPT | OFN_EXPLORER | OFN_LONGNAMES;
  static_assert((OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                 OFN_CREATEPROMPT | OFN_EXPLORER | OFN_LONGNAMES) == 0x28280E,
                "the dialog's flag word");
  if (!GetSaveFileNameA(&dialog)) {
    path[0] = 0;
    return false;
  }
  return path[0] != 0;
}

}  // namespace zep
