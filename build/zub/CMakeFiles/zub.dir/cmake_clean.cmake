file(REMOVE_RECURSE
  "CMakeFiles/zub.dir/atomic_file_posix.cpp.o"
  "CMakeFiles/zub.dir/atomic_file_posix.cpp.o.d"
  "CMakeFiles/zub.dir/fs.cpp.o"
  "CMakeFiles/zub.dir/fs.cpp.o.d"
  "CMakeFiles/zub.dir/fs_batch_posix.cpp.o"
  "CMakeFiles/zub.dir/fs_batch_posix.cpp.o.d"
  "CMakeFiles/zub.dir/path.cpp.o"
  "CMakeFiles/zub.dir/path.cpp.o.d"
  "CMakeFiles/zub.dir/platform_posix.cpp.o"
  "CMakeFiles/zub.dir/platform_posix.cpp.o.d"
  "CMakeFiles/zub.dir/settings.cpp.o"
  "CMakeFiles/zub.dir/settings.cpp.o.d"
  "libzub.a"
  "libzub.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/zub.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
