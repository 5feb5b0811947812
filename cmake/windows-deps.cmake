# freeglut, GLEW, FreeType, HarfBuzz and FriBidi for a Windows build:
# static libraries that scripts/build-windows.sh builds from Debian's
# source packages into ORCHARD_WIN_DEPS (a prefix with include/ and lib/).
# They are declared here as the imported targets the rest of the build
# links, and the cache variables are set so that find_package(GLUT),
# find_package(GLEW) and find_package(Freetype) accept them.
set(ORCHARD_WIN_DEPS "" CACHE PATH "Prefix holding freeglut, GLEW, FreeType, HarfBuzz and FriBidi built for Windows")
if(NOT EXISTS "${ORCHARD_WIN_DEPS}/lib/libfreeglut_static.a" OR
   NOT EXISTS "${ORCHARD_WIN_DEPS}/lib/libglew32s.a" OR
   NOT EXISTS "${ORCHARD_WIN_DEPS}/lib/libfreetype.a" OR
   NOT EXISTS "${ORCHARD_WIN_DEPS}/lib/libharfbuzz.a" OR
   NOT EXISTS "${ORCHARD_WIN_DEPS}/lib/libfribidi.a")
  message(FATAL_ERROR "ORCHARD_WIN_DEPS must name the prefix that scripts/build-windows.sh fills")
endif()

# The program's icon is a resource.
enable_language(RC)

function(orchard_static_import target library definition links)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION "${ORCHARD_WIN_DEPS}/lib/${library}"
    INTERFACE_INCLUDE_DIRECTORIES "${ORCHARD_WIN_DEPS}/include"
    INTERFACE_COMPILE_DEFINITIONS ${definition}
    INTERFACE_LINK_LIBRARIES "${links}")
endfunction()

orchard_static_import(GLUT::GLUT libfreeglut_static.a FREEGLUT_STATIC "opengl32;glu32;gdi32;winmm")
set(GLUT_INCLUDE_DIR "${ORCHARD_WIN_DEPS}/include" CACHE PATH "" FORCE)
set(GLUT_glut_LIBRARY_RELEASE "${ORCHARD_WIN_DEPS}/lib/libfreeglut_static.a" CACHE FILEPATH "" FORCE)

orchard_static_import(GLEW::GLEW libglew32s.a GLEW_STATIC opengl32)
set(GLEW_INCLUDE_DIR "${ORCHARD_WIN_DEPS}/include" CACHE PATH "" FORCE)
set(GLEW_SHARED_LIBRARY_RELEASE "${ORCHARD_WIN_DEPS}/lib/libglew32s.a" CACHE FILEPATH "" FORCE)

# Built without zlib, bzip2, PNG, Brotli or HarfBuzz: it needs nothing else.
add_library(Freetype::Freetype STATIC IMPORTED GLOBAL)
set_target_properties(Freetype::Freetype PROPERTIES
  IMPORTED_LOCATION "${ORCHARD_WIN_DEPS}/lib/libfreetype.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ORCHARD_WIN_DEPS}/include/freetype2")
set(FREETYPE_INCLUDE_DIR_ft2build "${ORCHARD_WIN_DEPS}/include/freetype2" CACHE PATH "" FORCE)
set(FREETYPE_INCLUDE_DIR_freetype2 "${ORCHARD_WIN_DEPS}/include/freetype2" CACHE PATH "" FORCE)
set(FREETYPE_LIBRARY_RELEASE "${ORCHARD_WIN_DEPS}/lib/libfreetype.a" CACHE FILEPATH "" FORCE)

# The same target names as the Linux build makes from pkg-config, with
# the same include folders: <hb.h>, <hb-ft.h>, <fribidi.h>. HarfBuzz reads
# fonts through FreeType (hb-ft), so it links it after itself.
add_library(HarfBuzz::HarfBuzz STATIC IMPORTED GLOBAL)
set_target_properties(HarfBuzz::HarfBuzz PROPERTIES
  IMPORTED_LOCATION "${ORCHARD_WIN_DEPS}/lib/libharfbuzz.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ORCHARD_WIN_DEPS}/include/harfbuzz"
  INTERFACE_LINK_LIBRARIES Freetype::Freetype)

# Static: FRIBIDI_LIB_STATIC keeps a FriBidi header from declaring its
# entry points as imported from a DLL.
add_library(FriBidi::FriBidi STATIC IMPORTED GLOBAL)
set_target_properties(FriBidi::FriBidi PROPERTIES
  IMPORTED_LOCATION "${ORCHARD_WIN_DEPS}/lib/libfribidi.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ORCHARD_WIN_DEPS}/include/fribidi"
  INTERFACE_COMPILE_DEFINITIONS FRIBIDI_LIB_STATIC)
