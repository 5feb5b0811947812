// Replacing a small file whole, so that a crash, a kill or a full disk in
// the middle of a write leaves either the old file or the new one.
#pragma once

#include <string>

namespace zub {

// Writes `content` to a new temporary file beside `path` (created
// exclusively, never through a link), flushes it to disk and renames it
// over `path`. On any failure the temporary file is removed, `path` is left
// as it was and the result is false. `content` is text: on Windows each
// "\n" reaches the file as CR LF, as a stream opened with "w" writes it.
bool replaceFile(const std::string& path, const std::string& content);

// True when the current user may write the existing file `path`.
bool isWritableFile(const char* path);

}  // namespace zub
