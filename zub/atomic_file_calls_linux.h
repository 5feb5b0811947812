// The two calls that make a replacement durable and then visible, which
// atomic_file_linux.cpp makes through these pointers so that a test can
// watch their order: the new content must be on disk before its name is,
// or a crash right after the rename leaves an empty file. The program
// itself never changes them.
#pragma once

namespace zub {

// fsync(2): of the filled temporary, and of the folder after the rename.
extern int (*syncCall)(int fd);
// renameat(2): the filled temporary over the file it replaces.
extern int (*renameCall)(int fromFolder, const char* from, int toFolder, const char* to);

}  // namespace zub
