#include "app/background.h"

// The Windows build keeps to one thread: the work is done before the
// window is made, as it always was there.
void startBackgroundWork(void (*work)(void*), void* context) { work(context); }

void finishBackgroundWork() {}
