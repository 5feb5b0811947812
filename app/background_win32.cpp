#include "app/background.h"

#include "browser/browser_state.h"

// The Windows build keeps to one thread: the directory is opened before
// the window is made, as it always was there.
void startOpeningFirstDirectory(std::string path) { openDirectory(path.c_str(), browserState); }

void finishOpeningFirstDirectory() {}
