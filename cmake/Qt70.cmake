# Helpers shared by every folder of the project.

# Our own code builds with every warning on, and warnings are errors.
function(qt70_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# qt70_library(NAME SOURCES ... [DEPS ...]): one static library per folder.
function(qt70_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  qt70_warnings(${name})
endfunction()

# qt70_test(NAME SOURCES ... [DEPS ...] [TIMEOUT seconds] [ENVIRONMENT VAR=value ...]): a GoogleTest
# executable whose tests ctest runs one by one, each with a timeout so that
# a loop that never ends fails instead of hanging the run.
function(qt70_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;ENVIRONMENT" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} qt70_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE QT70_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                             QT70_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  qt70_warnings(${name})
  set(env)
  if(ARG_ENVIRONMENT)
    set(env ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ${env} DISCOVERY_TIMEOUT 60)
endfunction()

# qt70_folder_library(NAME [DEPS ...]): the library of one folder, made of
# every .cpp file in it, so that adding a source file needs no edit here.
function(qt70_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()
  qt70_library(${name} SOURCES ${sources} DEPS ${ARG_DEPS})
endfunction()

# qt70_folder_tests(PREFIX [DEPS ...] [TIMEOUT s]): one test executable per
# test_*.cpp file of the current folder.
function(qt70_folder_tests prefix)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  foreach(src ${tests})
    get_filename_component(stem ${src} NAME_WE)
    qt70_test(${prefix}_${stem} SOURCES ${src} DEPS ${ARG_DEPS} TIMEOUT ${ARG_TIMEOUT})
  endforeach()
endfunction()
