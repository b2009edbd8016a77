# The suite's programs, the libraries they share and the code generator's
# module are built into one folder, bin/, laid out as they are installed: the
# libraries the programs and the module share are shared libraries, so that
# one copy of each (message sink, window tables, application) exists at run
# time, and every program finds them, the module and its siblings beside
# itself through a runtime path relative to $ORIGIN.
set(ORVANTA_BIN_DIR ${PROJECT_BINARY_DIR}/bin)
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
# Static libraries linked into the shared ones and the module are position-independent too.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# orvanta_deliverable(TARGET...): a program, shared library or module of the suite, built into bin/.
function(orvanta_deliverable)
  set_target_properties(${ARGN} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${ORVANTA_BIN_DIR}
    LIBRARY_OUTPUT_DIRECTORY ${ORVANTA_BIN_DIR}
    INSTALL_RPATH "$ORIGIN")
  foreach(target IN LISTS ARGN)
    target_link_options(${target} PRIVATE -Wl,--enable-new-dtags)
  endforeach()
endfunction()

# orvanta_shared_library(NAME SOURCES...): a library the programs and the module share,
# as liborvanta_NAME.so in bin/.
function(orvanta_shared_library name)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES OUTPUT_NAME orvanta_${name})
  orvanta_deliverable(${name})
endfunction()
