// Asking the file system, for many entries of one directory, which are
// directories that can be listed. Used by fs.cpp; one realisation per
// platform (fs_batch_posix.cpp, fs_batch_win32.cpp), picked by the build.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zub/entry_kind.h"
#include "zub/string_list.h"

namespace zub {

struct DirChecks;

// Ends a batch when its owner goes: waits for the questions still being
// asked beside the caller, then frees what the batch holds.
struct DirChecksFree {
  void operator()(DirChecks* checks) const;
};
using DirChecksHandle = std::unique_ptr<DirChecks, DirChecksFree>;

// Starts asking about the entries `names[i]` of `dir` with likelyDirs[i]
// set (likelyDirs may be empty: none), beside the caller where the platform
// build can, so that the caller may list the directory meanwhile. `dir` and
// `names` must stay as they are while the batch lives. Never null.
DirChecksHandle startDirChecks(const std::string& dir, const StringList& names,
                               const std::vector<char>& likelyDirs);

// isDir() of `dir` joined with each name (1 or 0, one per name), given the
// kinds the caller has since found (one per name; empty when not known):
// a plain file is never asked about, a directory asked about since the
// start keeps that answer, anything else is asked now. Once per batch.
std::vector<char> finishDirChecks(DirChecks& checks, const std::vector<EntryKind>& kinds);

}  // namespace zub
