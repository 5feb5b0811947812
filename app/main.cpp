// orchard.menu: a keyboard-driven file browser and launcher in one
// OpenGL window.
#include <GL/glew.h>
#include <GL/freeglut.h>

#include "app/background.h"
#include "app/close_requests.h"
#include "app/commands.h"
#include "app/entry.h"
#include "app/frame.h"
#include "app/leak_check.h"
#include "app/startup.h"
#include "app/window_identity.h"
#include "browser/browser_state.h"
#include "render/system_fonts.h"

int runBrowser(int argc, char** argv) {
  // The arguments are copied before the toolkit sees argv, so a first
  // argument that looks like a toolkit option is still the directory. The
  // first directory is opened from that copy while the toolkit makes the
  // window, which takes about as long as opening 100,000 entries; the open
  // has finished before the event loop starts, so before anything draws
  // or a key is handled.
  // Before any thread exists: the environment is changed while no other
  // thread can read it.
  keepFontsToTheSystem();
  // Before any thread exists, so that every thread holds them.
  holdStopRequests();
  copyArguments(argc, argv);
  startOpeningFirstDirectory(firstDirectory(argc, argv));

  glutInitWindowPosition(0, 0);
  glutInitWindowSize(1920, 1080);
  // An empty argv (possible through exec) still gets a program name.
  char fallbackName[] = "orchard-menu";
  char* fallbackArgv[] = {fallbackName, nullptr};
  char** toolkitArgv = argc > 0 ? argv : fallbackArgv;
  int toolkitArgc = argc > 0 ? argc : 1;
  glutInit(&toolkitArgc, toolkitArgv);
  checkLeaksBeforeToolkitExit();
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  const int windowId = glutCreateWindow("orchard.menu");
  setWindowIdentity();

  printStartupLines(argc > 0 && argv[0] ? argv[0] : fallbackName);

  glutReshapeFunc(reshapeView);
  glutDisplayFunc(displayFrame);
  glutIgnoreKeyRepeat(1);
  glutKeyboardFunc(onKey);
  glutKeyboardUpFunc(ignoreInput);
  glutSpecialFunc(onSpecialKey);
  glutSpecialUpFunc(ignoreInput);
  glutMouseFunc(ignoreInput);
  glutMotionFunc(ignoreInput);
  glutPassiveMotionFunc(ignoreInput);

  finishOpeningFirstDirectory();
  browserState.windowId = windowId;
  // After the start-up thread: a stop request is then always handled on
  // the event loop, never beside the first open.
  watchCloseRequests();
  glutMainLoop();
  return 0;
}
