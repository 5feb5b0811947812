# Delay-loading import libraries for DLLs that are not on Windows' list of
# known system DLLs (opengl32, glu32, winmm, bcrypt): the loader would look
# for them in the program's own folder first, so a DLL of that name planted
# beside orchard-menu.exe would run. Delay-loaded, they are loaded at their
# first call, after WinMain has limited the search to System32.
#
# orchard_delay_imports(<dir> <library>...) writes lib<library>.a into
# <dir>; a program linked with -L<dir> then takes these instead of the
# ordinary import libraries.
function(orchard_delay_imports dir)
  find_program(ORCHARD_MINGW_NM ${ORCHARD_MINGW_TRIPLET}-nm REQUIRED)
  find_program(ORCHARD_MINGW_DLLTOOL ${ORCHARD_MINGW_TRIPLET}-dlltool REQUIRED)
  file(MAKE_DIRECTORY ${dir})
  foreach(library IN LISTS ARGN)
    find_library(import_${library} NAMES ${library} REQUIRED)
    execute_process(COMMAND ${ORCHARD_MINGW_NM} -g --defined-only ${import_${library}}
                    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    # Every function the ordinary import library offers.
    string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z_][A-Za-z0-9_@]*" functions "${symbols}")
    list(TRANSFORM functions REPLACE "^[0-9a-f]+ T " "")
    list(REMOVE_DUPLICATES functions)
    list(JOIN functions "\n" exports)
    file(WRITE ${dir}/${library}.def "LIBRARY ${library}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${ORCHARD_MINGW_DLLTOOL} --input-def ${dir}/${library}.def
                            --output-delaylib ${dir}/lib${library}.a --dllname ${library}.dll
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endfunction()
