// Saving the bare archive of a self-extracting file as a .zep file.
#pragma once

#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// Asks for a target file (the ownerless Save As dialog) and writes the archive that starts at
// `archive_offset` of `file` into it, from its first byte to the end of the file. Every outcome is
// reported in a message owned by `owner`: "ZEP file has been extracted." on success; a damaged
// archive; the error number when the target cannot be created ("ZEP read Error"), when the archive
// cannot be read ("ZEP read Error") or when the target cannot be written ("Write error"). A target
// that was not completely written is deleted. A cancelled dialog ends it without a message.
// Returns true when the archive was written completely.
bool extract_archive(FileRef file, u32 archive_offset, WindowRef owner);

}  // namespace zep
