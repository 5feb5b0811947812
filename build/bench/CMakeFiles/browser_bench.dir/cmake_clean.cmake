file(REMOVE_RECURSE
  "CMakeFiles/browser_bench.dir/browser_bench.cpp.o"
  "CMakeFiles/browser_bench.dir/browser_bench.cpp.o.d"
  "browser_bench"
  "browser_bench.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/browser_bench.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
