#include "app/leak_check.h"

void checkLeaksBeforeToolkitExit() {}
