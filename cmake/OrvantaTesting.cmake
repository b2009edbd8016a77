# orvanta_add_gtest(NAME SOURCES... LIBS...): one GoogleTest program registered
# with CTest, run through scripts/run-test so that it gets a private runtime
# directory, settings directory and home, and Qt's offscreen platform.
function(orvanta_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} orvanta_testing GTest::gtest GTest::gtest_main)
  add_test(NAME ${name}
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/run-test $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()
