# Adds every direct subfolder of DIR that has a CMakeLists.txt, in name order,
# so that each subsystem owns its own build file.
function(varno_add_subdirs dir)
  file(GLOB children RELATIVE ${PROJECT_SOURCE_DIR}/${dir} ${PROJECT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child ${children})
    if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${PROJECT_SOURCE_DIR}/${dir}/${child} ${CMAKE_BINARY_DIR}/${dir}/${child})
    endif()
  endforeach()
endfunction()

# varno_add_test(NAME SOURCES a.cpp b.cpp LIBS x y)
# One GoogleTest program; its tests run from the bin folder so that they find
# the agent's files there. Tests run one at a time per program.
function(varno_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testbin)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE VARNO_BIN_DIR="${VARNO_BIN_DIR}"
                                             VARNO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} WORKING_DIRECTORY ${VARNO_BIN_DIR}
                       PROPERTIES TIMEOUT ${T_TIMEOUT} DISCOVERY_TIMEOUT 30)
endfunction()

# varno_library(NAME DIR dir DEPENDS lib...)
# One layer of the agent: a static library over the sources of DIR. Its
# headers are reached as "DIR/Header.h" through an include folder of its own
# that holds only DIR, so that a library sees the headers of the libraries
# it names and of none above it: an include against the direction of the
# layers does not compile.
function(varno_library name)
  cmake_parse_arguments(L "" "DIR" "DEPENDS" ${ARGN})
  add_library(${name} STATIC)
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  get_filename_component(parent ${root}/${L_DIR} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${L_DIR} ${root}/${L_DIR} SYMBOLIC)
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC ${L_DEPENDS})
endfunction()
