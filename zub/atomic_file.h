// Writing a small file whole, so that a crash, a kill or a full disk in
// the middle of a write leaves either the old file or the new one, and
// never a file that is not the program's own.
#pragma once

#include <cstddef>
#include <string>

namespace zub {

// Makes `size` bytes at `data` the whole content of the existing regular
// file `path` (never a link: the caller resolves links it trusts).
// Every realisation must: write the new content to a temporary in the
// folder of `path` and move it over `path` in one step; give it the owner,
// group and mode of the file it replaces; remove temporaries of `path` that
// earlier saves left behind (a killed process, a failed write); leave
// `path` as it was and no temporary behind when any step fails. Where the
// folder cannot take a temporary but the file may be written, the file is
// rewritten in place instead. Returns false when the content did not
// reach `path`; anything at `path` that is not a regular file gives false
// and is left alone. The content is text: on Windows each "\n" reaches the
// file as CR LF, as a stream opened with "w" writes it.
bool replaceFile(const std::string& path, const char* data, size_t size);
bool replaceFile(const std::string& path, const std::string& content);

// Creates `path` with the given content (mode 0666 less the umask), as
// replaceFile() does for an existing file: the file appears at `path` only
// complete. Never through a link and never over anything: false when
// something (a dangling link included) is at `path` or appears there
// meanwhile.
bool createFile(const std::string& path, const char* data, size_t size);

// True when the current user may write the existing file `path`.
bool isWritableFile(const char* path);

}  // namespace zub
