// One piece of start-up work run beside the toolkit's start: a second
// thread where the platform build has one (background_posix.cpp), at once
// on the calling thread otherwise (background_win32.cpp). Picked by CMake.
#pragma once

// Starts `work(context)` (`work` not null) on a second thread, or runs it
// to completion at once where there is none or the thread cannot be made.
// One piece of work at a time: call finishBackgroundWork() before starting
// another. An exit of the process while the work runs waits for it to
// finish first, so that exit-time destruction never meets it half way.
void startBackgroundWork(void (*work)(void* context), void* context);

// Returns once the work given to startBackgroundWork() has finished; at
// once when there is none. Everything the work wrote is then visible to
// the caller.
void finishBackgroundWork();
