// orchard.menu: a keyboard-driven file browser and launcher in one
// OpenGL window.
#include <GL/glew.h>
#include <GL/freeglut.h>

#include "app/commands.h"
#include "app/frame.h"
#include "app/leak_check.h"
#include "app/window_identity.h"
#include "browser/browser_state.h"

int main(int argc, char** argv) {
  // The arguments are copied and the first directory opened before the
  // toolkit sees argv, so a first argument that looks like a toolkit
  // option is still the directory.
  copyArguments(argc, argv);
  openInitialDirectory();

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
  browserState.windowId = glutCreateWindow("orchard.menu");
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

  glutMainLoop();
  return 0;
}
