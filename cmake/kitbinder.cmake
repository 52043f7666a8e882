# kitbinder_library(NAME SOURCES... [DEPENDS libs...])
# One static library per subsystem, named kb_<subsystem>; headers are included as
# "<subsystem>/<file>.h" from src/.
function(kitbinder_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# kitbinder_test(NAME SOURCES... [DEPENDS libs...] [TIMEOUT s] [FILTER gtest-filter] [LABELS l])
# A GoogleTest executable registered with ctest: its tests (those FILTER selects), each with
# the LABELS given. Tests run with the source tree in KITBINDER_SOURCE_DIR and the programs'
# folder in KITBINDER_BIN_DIR.
function(kitbinder_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT;FILTER;LABELS" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    KITBINDER_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KITBINDER_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  if(NOT ARG_FILTER)
    set(ARG_FILTER "*")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_FILTER}"
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()
