#pragma once
// The one form in which a path reaches the file system.
#include "text/text_types.h"

// Paths this long (UTF-16 units) or longer take the "\\?\" form. MAX_PATH is 260 for files, but
// a folder can only be created while 12 units are left for an 8.3 name inside it.
inline constexpr size_t kLongPathUnits = 248;

// The code-page-936 path as the UTF-16 text to hand to the file system. A path shorter than
// kLongPathUnits comes back as it is (the platform normalises it). A longer one takes the
// "\\?\" form, which turns normalisation off, so it is normalised here: "/" becomes "\",
// repeated separators collapse, "." goes and ".." removes the component before it; a drive path
// "C:\..." becomes "\\?\C:\...", a share "\\server\share\..." becomes "\\?\UNC\server\share\...".
// A path already in the "\\?\" or "\\.\" form is kept as it is. Empty when the path cannot be
// put in that form: a long relative path, or ".." climbing above its drive or share.
WideText FileSystemPath(const Text& path);

// A name inside a folder whose file-system form was made once (FileSystemPath(folder)): the
// same as FileSystemPath(folder + name) for a name without separators, "." or "..", without
// converting and normalising the folder again for every file in it.
WideText FileSystemPathIn(const WideText& folderForm, const Text& name);
