# CMake generated Testfile for 
# Source directory: /work/main/tests/browser
# Build directory: /work/main/build/tests/browser
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/main/build/tests/browser/browser_tests[1]_include.cmake")
