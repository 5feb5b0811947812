// Asking the file system, for many entries of one directory, which are
// directories that can be listed. Used by fs.cpp; one realisation per
// platform (fs_batch_posix.cpp, fs_batch_win32.cpp), picked by the build.
#pragma once

#include <string>
#include <vector>

#include "zub/fs.h"
#include "zub/string_list.h"

namespace zub {

struct DirChecks;

// Starts asking about the entries `names[i]` of `dir` with likelyDirs[i]
// set (likelyDirs may be empty: none), beside the caller where the platform
// build can, so that the caller may list the directory meanwhile. `dir` and
// `names` must stay as they are until finishDirChecks(). Never null.
DirChecks* startDirChecks(const std::string& dir, const StringList& names,
                          const std::vector<char>& likelyDirs);

// isDir() of `dir` joined with each name (1 or 0, one per name), given the
// kinds the caller has since found (one per name; empty when not known):
// a plain file is never asked about, a directory asked about since the
// start keeps that answer, anything else is asked now. Frees `checks`.
std::vector<char> finishDirChecks(DirChecks* checks, const std::vector<EntryKind>& kinds);

}  // namespace zub
