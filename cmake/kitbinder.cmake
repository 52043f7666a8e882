# kitbinder_library(NAME SOURCES... [DEPENDS libs...])
# One static library per layer, named kb_<layer>, built from the folder of the CMakeLists.txt
# that calls it. Its headers are included by their path from src/ ("msi/db/database.h"), but
# src/ itself is on no include path: each library publishes only its own folder, through an
# include root of its own in the build tree that holds just that folder. A file therefore sees
# the headers of its own layer and of the libraries it links, and an include of any other layer
# does not compile.
function(kitbinder_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${CMAKE_BINARY_DIR}/include_roots/${name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# kitbinder_test(NAME SOURCES... [DEPENDS libs...] [TIMEOUT s] [FILTER gtest-filter] LABELS l
#                [ORACLE gtest-filter] [WINE gtest-filter])
# A GoogleTest executable registered with ctest: its tests (those FILTER selects), each with
# the label LABELS, but for those ORACLE selects (labelled "oracle": they run msitools,
# cabextract, gcab, olefile...) and those WINE selects (labelled "wine"). Tests see the headers
# of the libraries they link and those of tests/; they run with the source tree in
# KITBINDER_SOURCE_DIR and the programs' folder in KITBINDER_BIN_DIR.
function(kitbinder_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT;FILTER;LABELS;ORACLE;WINE" "SOURCES;DEPENDS" ${ARGN})
  if(NOT ARG_LABELS)
    message(FATAL_ERROR "kitbinder_test(${name}): every test needs a label (README, Tests)")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} kb_test_support GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    KITBINDER_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KITBINDER_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  if(NOT ARG_FILTER)
    set(ARG_FILTER "*")
  endif()
  # The tests split off under a label of their own are left out of the rest.
  set(split_off)
  foreach(label oracle wine)
    string(TOUPPER ${label} option)
    if(ARG_${option})
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_${option}}"
        PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS ${label})
      list(APPEND split_off ${ARG_${option}})
    endif()
  endforeach()
  if(split_off)
    list(JOIN split_off ":" split_off)
    set(ARG_FILTER "${ARG_FILTER}-${split_off}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_FILTER}"
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()
