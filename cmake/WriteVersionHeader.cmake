# Writes the header with the version and the commit it was built from. Run at
# every build (cmake -P), it rewrites the header only when its text changes, so
# that a new commit recompiles the two files that print it and nothing else.
#
#   cmake -DVERSION=1.0.0 -DSOURCE_DIR=... -DOUTPUT=.../BuildVersion.h -P WriteVersionHeader.cmake
set(commit "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --short=7 HEAD
                  WORKING_DIRECTORY "${SOURCE_DIR}"
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET RESULT_VARIABLE failed)
  if(failed)
    set(commit "")
  endif()
endif()
# A tree outside git (a source archive) has the version alone.
if(commit)
  set(TESSERA_VERSION_TEXT "${VERSION} (${commit})")
else()
  set(TESSERA_VERSION_TEXT "${VERSION}")
endif()
set(TESSERA_VERSION "${VERSION}")
set(TESSERA_COMMIT "${commit}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/BuildVersion.h.in" "${OUTPUT}" @ONLY)
