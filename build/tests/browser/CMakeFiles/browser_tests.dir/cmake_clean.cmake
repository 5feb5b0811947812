file(REMOVE_RECURSE
  "CMakeFiles/browser_tests.dir/browser_fixture.cpp.o"
  "CMakeFiles/browser_tests.dir/browser_fixture.cpp.o.d"
  "CMakeFiles/browser_tests.dir/browser_state_test.cpp.o"
  "CMakeFiles/browser_tests.dir/browser_state_test.cpp.o.d"
  "CMakeFiles/browser_tests.dir/marks_test.cpp.o"
  "CMakeFiles/browser_tests.dir/marks_test.cpp.o.d"
  "browser_tests"
  "browser_tests.pdb"
  "browser_tests[1]_tests.cmake"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/browser_tests.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
