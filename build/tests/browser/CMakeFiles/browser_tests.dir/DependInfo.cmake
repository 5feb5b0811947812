
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/tests/browser/browser_fixture.cpp" "tests/browser/CMakeFiles/browser_tests.dir/browser_fixture.cpp.o" "gcc" "tests/browser/CMakeFiles/browser_tests.dir/browser_fixture.cpp.o.d"
  "/work/main/tests/browser/browser_state_test.cpp" "tests/browser/CMakeFiles/browser_tests.dir/browser_state_test.cpp.o" "gcc" "tests/browser/CMakeFiles/browser_tests.dir/browser_state_test.cpp.o.d"
  "/work/main/tests/browser/marks_test.cpp" "tests/browser/CMakeFiles/browser_tests.dir/marks_test.cpp.o" "gcc" "tests/browser/CMakeFiles/browser_tests.dir/marks_test.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build/browser/CMakeFiles/browser.dir/DependInfo.cmake"
  "/work/main/build/zub/CMakeFiles/zub.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
