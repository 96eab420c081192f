# Build helpers shared by every folder.

# tm_add_subdirectories(dir...): adds each listed folder that has a CMakeLists.txt.
function(tm_add_subdirectories)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# tm_add_all_subdirectories(): adds every direct sub-folder that has a CMakeLists.txt
# (bench/, fuzz/ and tools/ hold one folder per component).
function(tm_add_all_subdirectories)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# add_unit_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [ENV VAR=value ...])
# One GoogleTest binary; every case is listed by ctest.
function(add_unit_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  set(props "")
  if(T_ENV)
    set(props PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 ${props})
endfunction()

# tm_shared_library(NAME CORE core_target SOURCES export.cpp ... [LIBS ...])
# A thin shared library over a static PIC core: hidden visibility, only the
# symbols marked with the component's export macro are visible.
function(tm_shared_library name)
  cmake_parse_arguments(S "" "CORE;OUTPUT_NAME" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${S_SOURCES})
  target_link_libraries(${name} PRIVATE ${S_CORE} ${S_LIBS})
  set_target_properties(${name} PROPERTIES
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(S_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${S_OUTPUT_NAME})
  endif()
  if(NOT TM_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# tm_add_fuzzer(NAME SOURCES ... LIBS ...): a libFuzzer target, only with clang
# and TM_BUILD_FUZZERS.
function(tm_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TM_BUILD_FUZZERS)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  # "ninja fuzzers" builds every fuzz target and only what they need.
  if(NOT TARGET fuzzers)
    add_custom_target(fuzzers)
  endif()
  add_dependencies(fuzzers ${name})
  set_property(GLOBAL APPEND PROPERTY TM_FUZZERS ${name})
endfunction()

# tm_add_benchmark(NAME SOURCES ... LIBS ...)
function(tm_add_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TM_BUILD_BENCH)
    return()
  endif()
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()
