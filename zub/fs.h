// File-system queries and directory enumeration.
//
// A directory, here, is whatever a directory stream can be opened on: a
// directory that exists but cannot be read counts as no directory.
// None of these functions fails loudly; every problem is a false result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zub/entry_kind.h"
#include "zub/string_list.h"

namespace zub {

// Replaces `entries` with the names in directory `path`, in the platform's
// order, "." and ".." included when the platform reports them. Returns
// false, leaving `entries` empty, when `path` cannot be opened as a
// directory.
bool listDir(const char* path, std::vector<std::string>& entries);

// As listDir(), into one block of names, and `kinds` receives one
// EntryKind per name, same order.
bool listDir(const char* path, StringList& entries, std::vector<EntryKind>& kinds);

// True when a directory stream can be opened on `path`.
bool isDir(const char* path);

// isDir() of `dir` joined with each of `names` (one answer per name, 1 or
// 0), without a call where `kinds` (as listDir() gave them; may be empty)
// already settles it: a regular file, fifo or socket is never a directory
// stream. The same answers as isDir(), found through the directory itself
// rather than by resolving every full path again. Many questions are
// shared with a second thread where the platform build has one.
std::vector<char> entriesAreDirs(const std::string& dir, const StringList& names,
                                 const std::vector<EntryKind>& kinds);

// entriesAreDirs() for entries of `dir` whose kinds are not at hand: one
// pass over the directory now gives each entry's kind, and the file system
// is asked per entry only where that kind leaves it open. `listingOrder`
// says that the k-th name listed is expected to be names[listingOrder[k]];
// the pass matches names in that order. An entry the pass does not meet
// in that order (a directory changed since, or a `listingOrder` that is
// not as long as `names`), and every entry of a directory that cannot be
// listed, is asked on its own, so the answers are always those of isDir()
// of `dir` joined with each name: 1 or 0, one per name.
// `likelyDirs` (empty, or one flag per name: the answers of last time) only
// says which entries are worth asking about while the pass runs; every
// answer still comes from the file system now.
std::vector<char> entriesAreDirsNow(const std::string& dir, const StringList& names,
                                    const std::vector<uint32_t>& listingOrder,
                                    const std::vector<char>& likelyDirs = {});

// Exactly !isDir(path): a path that names nothing counts as a file.
bool isFile(const char* path);

// True when `path` can be opened for reading as a file; false for a
// directory, a missing path or an unreadable file.
bool fileExists(const char* path);

// Creates every missing directory along `path` (split at the separators of
// the native path style), shortest prefix first; in the Windows style a bare
// drive ("D:") is never created. Failures are ignored; callers check by
// using the result.
void makeDirs(const char* path);

}  // namespace zub
