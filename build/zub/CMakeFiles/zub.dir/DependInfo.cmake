
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/zub/atomic_file_posix.cpp" "zub/CMakeFiles/zub.dir/atomic_file_posix.cpp.o" "gcc" "zub/CMakeFiles/zub.dir/atomic_file_posix.cpp.o.d"
  "/work/main/zub/fs.cpp" "zub/CMakeFiles/zub.dir/fs.cpp.o" "gcc" "zub/CMakeFiles/zub.dir/fs.cpp.o.d"
  "/work/main/zub/fs_batch_posix.cpp" "zub/CMakeFiles/zub.dir/fs_batch_posix.cpp.o" "gcc" "zub/CMakeFiles/zub.dir/fs_batch_posix.cpp.o.d"
  "/work/main/zub/path.cpp" "zub/CMakeFiles/zub.dir/path.cpp.o" "gcc" "zub/CMakeFiles/zub.dir/path.cpp.o.d"
  "/work/main/zub/platform_posix.cpp" "zub/CMakeFiles/zub.dir/platform_posix.cpp.o" "gcc" "zub/CMakeFiles/zub.dir/platform_posix.cpp.o.d"
  "/work/main/zub/settings.cpp" "zub/CMakeFiles/zub.dir/settings.cpp.o" "gcc" "zub/CMakeFiles/zub.dir/settings.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
