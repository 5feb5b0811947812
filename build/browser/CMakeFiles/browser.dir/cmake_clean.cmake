file(REMOVE_RECURSE
  "CMakeFiles/browser.dir/browser_state.cpp.o"
  "CMakeFiles/browser.dir/browser_state.cpp.o.d"
  "CMakeFiles/browser.dir/marks.cpp.o"
  "CMakeFiles/browser.dir/marks.cpp.o.d"
  "libbrowser.a"
  "libbrowser.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/browser.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
