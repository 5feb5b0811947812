// What both realisations of atomic_file.h share: how temporaries are
// named, and which files this run has swept of stale ones. The platform
// files hold only the system calls.
#pragma once

#include <string>
#include <unordered_set>

namespace zub {

// "<file>.tmp-": the start of every temporary name of `file`, which is a
// bare name (POSIX, beside a folder descriptor) or a whole path (Windows).
std::string temporaryPrefix(const std::string& file);

// A new temporary name of `file`, "<file>.tmp-<process id>-<n>": the process
// id tells a later save whether the writer still runs; n counts up within
// the run, so two names of one run never meet.
std::string temporaryName(const std::string& file);

// "<file>.tmp-locked", the one temporary name of `file` for a writer that
// holds the folder's lock: no other save of it can be under way, so
// anything found under this name is a killed writer's, and it is found
// without reading the folder.
std::string lockedTemporaryName(const std::string& file);

// The files whose folder this run has swept of stale temporaries. Reading
// the whole folder at every save would make each toggle pay for whatever
// else the folder holds; once per file and run is enough, because a save
// removes its own temporary, and a failed one takes its file out of the set
// so the next save sweeps again.
std::unordered_set<std::string>& sweptFiles();

}  // namespace zub
