# Interface targets for warnings and sanitizers, and one helper per kind of test.

add_library(qm_warnings INTERFACE)
target_compile_options(qm_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wformat=2
  $<$<BOOL:${QM_WERROR}>:-Werror>)

add_library(qm_sanitizers INTERFACE)
if(QM_SANITIZE)
  target_compile_options(qm_sanitizers INTERFACE
    -fsanitize=${QM_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(qm_sanitizers INTERFACE -fsanitize=${QM_SANITIZE})
endif()
if(QM_FUZZ)
  # Coverage feedback from our libraries too, not only from the fuzz targets.
  target_compile_options(qm_sanitizers INTERFACE -fsanitize=fuzzer-no-link)
endif()

# qm_library(NAME <name> [DEPS ...] [INCLUDES ...]): every *.cc of the calling folder that is
# not a test, fuzz target or main program.
function(qm_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;INCLUDES" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  list(FILTER srcs EXCLUDE REGEX "(_test|_fuzz|_main)\\.cc$")
  if(NOT srcs)  # a folder still being built up
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR} ${ARG_INCLUDES})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${ARG_INCLUDES})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE qm_warnings qm_sanitizers)
  target_link_libraries(${name} INTERFACE qm_sanitizers)
endfunction()

# qm_test(NAME <name> [DEPS ...] [GUI] [SOURCES ...]): a GoogleTest program
# from the calling folder's *_test.cc files (or SOURCES). GUI tests run on
# Qt's offscreen platform, so they need no display.
function(qm_test name)
  cmake_parse_arguments(ARG "GUI" "" "DEPS;SOURCES" ${ARGN})
  if(NOT ARG_SOURCES)
    file(GLOB ARG_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
  endif()
  if(NOT ARG_SOURCES)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock
    GTest::gtest_main qm_warnings qm_sanitizers)
  set(env "QM_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  if(ARG_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()

# qm_tests([DEPS ...] [GUI]): one test program per *_test.cc of the calling
# folder, named after the file, so that a file being written breaks only
# its own program.
function(qm_tests)
  cmake_parse_arguments(ARG "GUI" "" "DEPS" ${ARGN})
  set(gui)
  if(ARG_GUI)
    set(gui GUI)
  endif()
  file(GLOB files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
  foreach(file ${files})
    get_filename_component(stem ${file} NAME_WE)
    qm_test(${stem} DEPS ${ARG_DEPS} ${gui} SOURCES ${file})
  endforeach()
endfunction()

# qm_benchmark(NAME <name> [DEPS ...] SOURCES ...): a Google Benchmark program.
function(qm_benchmark name)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark
    qm_warnings qm_sanitizers)
endfunction()

# qm_fuzz(NAME <name> [DEPS ...] SOURCES ...): a libFuzzer target, built only
# with clang and QM_FUZZ=ON (the "fuzz" preset). Each target also runs as a
# test over its corpus folder fuzz/corpus/<name>/ when that folder exists.
# The target fuzz_targets builds them all (scripts/fuzz runs them).
function(qm_fuzz name)
  if(NOT QM_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(NOT TARGET fuzz_targets)
    add_custom_target(fuzz_targets)
  endif()
  add_dependencies(fuzz_targets ${name})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} qm_warnings qm_sanitizers)
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(EXISTS ${corpus})
    add_test(NAME ${name}.corpus COMMAND ${name} -runs=0 ${corpus})
  endif()
endfunction()
