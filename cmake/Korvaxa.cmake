# Shared helpers for the source and test folders.

# kx_library(<target> SOURCES ... [DEPS ...] [PUBLIC_DEPS ...])
# A static library whose include root is src/, so code includes "Framework/PTaskKernel.h".
function(kx_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  if(ARG_PUBLIC_DEPS)
    target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_DEPS})
  endif()
  if(ARG_DEPS)
    target_link_libraries(${target} PRIVATE ${ARG_DEPS})
  endif()
endfunction()

# kx_header_library(<target> [PUBLIC_DEPS ...]): a header-only folder.
function(kx_header_library target)
  cmake_parse_arguments(ARG "" "" "PUBLIC_DEPS" ${ARGN})
  add_library(${target} INTERFACE)
  target_include_directories(${target} INTERFACE "${CMAKE_SOURCE_DIR}/src")
  if(ARG_PUBLIC_DEPS)
    target_link_libraries(${target} INTERFACE ${ARG_PUBLIC_DEPS})
  endif()
endfunction()

# kx_test(<name> LABEL <folder> SOURCES ... LIBS ...)
# One GoogleTest program; every test case is registered in CTest with the folder's label.
function(kx_test name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests" "${CMAKE_SOURCE_DIR}/src")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    KX_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
    KX_DATA_DIR="${CMAKE_SOURCE_DIR}/data")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT 600)
endfunction()
