# freeglut and GLEW for a Windows build: static libraries that
# scripts/build-windows.sh builds from Debian's source packages into
# ORCHARD_WIN_DEPS (a prefix with include/ and lib/). They are declared
# here as the imported targets the rest of the build links, and the cache
# variables are set so that find_package(GLUT) and find_package(GLEW) accept
# them.
set(ORCHARD_WIN_DEPS "" CACHE PATH "Prefix holding freeglut and GLEW built for Windows")
if(NOT EXISTS "${ORCHARD_WIN_DEPS}/lib/libfreeglut_static.a" OR
   NOT EXISTS "${ORCHARD_WIN_DEPS}/lib/libglew32s.a")
  message(FATAL_ERROR "ORCHARD_WIN_DEPS must name the prefix that scripts/build-windows.sh fills")
endif()

# The program's icon is a resource.
enable_language(RC)

add_library(GLUT::GLUT STATIC IMPORTED)
set_target_properties(GLUT::GLUT PROPERTIES
  IMPORTED_LOCATION "${ORCHARD_WIN_DEPS}/lib/libfreeglut_static.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ORCHARD_WIN_DEPS}/include"
  INTERFACE_COMPILE_DEFINITIONS FREEGLUT_STATIC
  INTERFACE_LINK_LIBRARIES "opengl32;glu32;gdi32;winmm")
set(GLUT_INCLUDE_DIR "${ORCHARD_WIN_DEPS}/include" CACHE PATH "" FORCE)
set(GLUT_glut_LIBRARY_RELEASE "${ORCHARD_WIN_DEPS}/lib/libfreeglut_static.a" CACHE FILEPATH "" FORCE)

add_library(GLEW::GLEW STATIC IMPORTED)
set_target_properties(GLEW::GLEW PROPERTIES
  IMPORTED_LOCATION "${ORCHARD_WIN_DEPS}/lib/libglew32s.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ORCHARD_WIN_DEPS}/include"
  INTERFACE_COMPILE_DEFINITIONS GLEW_STATIC
  INTERFACE_LINK_LIBRARIES "opengl32")
set(GLEW_INCLUDE_DIR "${ORCHARD_WIN_DEPS}/include" CACHE PATH "" FORCE)
set(GLEW_SHARED_LIBRARY_RELEASE "${ORCHARD_WIN_DEPS}/lib/libglew32s.a" CACHE FILEPATH "" FORCE)
