# Shared helpers for the source and test folders.

# kx_library(<target> SOURCES ... [DEPS ...] [PUBLIC_DEPS ...])
# A static library whose include root is src/, so code includes "Framework/PTaskKernel.h".
function(kx_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  file(RELATIVE_PATH folder "${CMAKE_SOURCE_DIR}/src" "${CMAKE_CURRENT_SOURCE_DIR}")
  kx_layering_register(${target} FOLDER "${folder}")
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
  file(RELATIVE_PATH folder "${CMAKE_SOURCE_DIR}/src" "${CMAKE_CURRENT_SOURCE_DIR}")
  kx_layering_register(${target} FOLDER "${folder}")
  if(ARG_PUBLIC_DEPS)
    target_link_libraries(${target} INTERFACE ${ARG_PUBLIC_DEPS})
  endif()
endfunction()

# kx_test(<name> LABEL <folder> SOURCES ... LIBS ...)
# One GoogleTest program; every test case is registered in CTest with the folder's label.
function(kx_test name)
  cmake_parse_arguments(ARG "SERIAL" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests" "${CMAKE_SOURCE_DIR}/src")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  kx_layering_register(${name})
  target_compile_definitions(${name} PRIVATE
    KX_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
    KX_DATA_DIR="${KX_GAME_ROOT}")
  # Tests read the demo game root: it is assembled before they build.
  add_dependencies(${name} game_root)
  # SERIAL: tests that measure something real-time (a sound mixed as it plays) run alone, so
  # that the other tests' load cannot starve them.
  set(serial FALSE)
  if(ARG_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT 600 RUN_SERIAL ${serial})
endfunction()

# kx_layering_register(<target> [FOLDER <folder under src/>] [HELPER])
# Puts a target under the include check: with FOLDER it owns every file of that folder ("." for
# src/ itself), without it only its own sources (test programs). A HELPER (the test support
# library) lends nothing of what it links: a test includes only what its own program links,
# and the helper's headers it includes are checked as part of it.
function(kx_layering_register target)
  cmake_parse_arguments(ARG "HELPER" "FOLDER" "" ${ARGN})
  if(ARG_HELPER)
    set_property(TARGET ${target} PROPERTY KX_LAYERING_HELPER TRUE)
  endif()
  if(DEFINED ARG_FOLDER)
    if(ARG_FOLDER STREQUAL "")
      set(ARG_FOLDER ".")
    endif()
    set_property(TARGET ${target} PROPERTY KX_SRC_FOLDER "${ARG_FOLDER}")
  endif()
  set_property(GLOBAL APPEND PROPERTY KX_LAYERING_TARGETS ${target})
endfunction()

# The src/ folders a target's headers expose to whoever links it: its own folder and, through
# its PUBLIC links, theirs. Private links ($<LINK_ONLY:...> in the interface) expose nothing,
# nor does a helper.
function(_kx_exposed_folders target out)
  get_property(known GLOBAL PROPERTY KX_EXPOSED_${target} SET)
  get_target_property(helper ${target} KX_LAYERING_HELPER)
  if(helper)
    set_property(GLOBAL PROPERTY KX_EXPOSED_${target} "")
  elseif(NOT known)
    set(result "")
    get_target_property(folder ${target} KX_SRC_FOLDER)
    if(NOT folder MATCHES "NOTFOUND$")
      list(APPEND result "${folder}")
    endif()
    get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
    if(NOT links MATCHES "NOTFOUND$")
      foreach(dep IN LISTS links)
        if(dep MATCHES "^kx_" AND TARGET ${dep})
          _kx_exposed_folders(${dep} sub)
          list(APPEND result ${sub})
        endif()
      endforeach()
    endif()
    list(REMOVE_DUPLICATES result)
    set_property(GLOBAL PROPERTY KX_EXPOSED_${target} "${result}")
  endif()
  get_property(result GLOBAL PROPERTY KX_EXPOSED_${target})
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# kx_layering_check(): called once every target exists. Writes the layering table (which folder
# belongs to which library, which sources to which test program, and the src/ folders each may
# include: its own and those of every library it links, public or private, with what they
# expose) and registers tools/check-layering.sh and its self-test in CTest (label Layering).
function(kx_layering_check)
  set(table "${CMAKE_BINARY_DIR}/layering.txt")
  set(lines "# Written by kx_layering_check (cmake/Korvaxa.cmake) at configure time; read by tools/check-layering.sh.\n")
  get_property(targets GLOBAL PROPERTY KX_LAYERING_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(folder ${target} KX_SRC_FOLDER)
    set(allowed "")
    if(NOT folder MATCHES "NOTFOUND$")
      list(APPEND allowed "${folder}")
      if(folder STREQUAL ".")
        string(APPEND lines "owner src ${target}\n")
      else()
        string(APPEND lines "owner src/${folder} ${target}\n")
      endif()
    else()
      get_target_property(sources ${target} SOURCES)
      get_target_property(dir ${target} SOURCE_DIR)
      foreach(source IN LISTS sources)
        cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${dir}" NORMALIZE OUTPUT_VARIABLE path)
        file(RELATIVE_PATH path "${CMAKE_SOURCE_DIR}" "${path}")
        string(APPEND lines "source ${target} ${path}\n")
      endforeach()
    endif()
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(links ${target} LINK_LIBRARIES)
    endif()
    if(NOT links MATCHES "NOTFOUND$")
      foreach(dep IN LISTS links)
        if(dep MATCHES "^kx_" AND TARGET ${dep})
          _kx_exposed_folders(${dep} exposed)
          list(APPEND allowed ${exposed})
        endif()
      endforeach()
    endif()
    list(REMOVE_DUPLICATES allowed)
    list(SORT allowed)
    list(JOIN allowed " " allowed)
    string(APPEND lines "allow ${target} ${allowed}\n")
  endforeach()
  file(WRITE "${table}.new" "${lines}")
  file(COPY_FILE "${table}.new" "${table}" ONLY_IF_DIFFERENT)
  file(REMOVE "${table}.new")

  add_test(NAME layering_includes
    COMMAND bash "${CMAKE_SOURCE_DIR}/tools/check-layering.sh" "${table}" "${CMAKE_SOURCE_DIR}")
  add_test(NAME layering_check_self_test
    COMMAND bash "${CMAKE_SOURCE_DIR}/tools/check-layering-test.sh" "${table}")
  set_tests_properties(layering_includes layering_check_self_test PROPERTIES LABELS Layering)
endfunction()
