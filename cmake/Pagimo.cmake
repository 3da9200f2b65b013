# Shared build rules: warnings as errors on our own code, sanitizers, and the
# helpers every folder uses to declare its library, tests and benchmarks.

set(PAGIMO_WARNINGS -Wall -Wextra -Wshadow -Woverloaded-virtual -Wnon-virtual-dtor -Wsuggest-override -Werror)

if(PAGIMO_SANITIZE)
  # GCC's flow analysis reports false "maybe uninitialized" warnings inside the standard library
  # (std::regex, std::function) once AddressSanitizer instruments it; keep them visible, not fatal.
  list(APPEND PAGIMO_WARNINGS -Wno-error=maybe-uninitialized)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(PAGIMO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PAGIMO_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  # Everything is instrumented for coverage; only the fuzz executables link the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# pagimo_add_library(NAME SOURCES ... [LIBS ...])
# Declares the library target pagimo_<NAME> for one folder; include paths are
# rooted at the source tree so headers are included as "folder/File.h".
function(pagimo_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(pagimo_${name} STATIC ${ARG_SOURCES})
  target_include_directories(pagimo_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(pagimo_${name} PRIVATE ${PAGIMO_WARNINGS})
  target_compile_definitions(pagimo_${name} PUBLIC QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
                                                   QT_NO_CAST_FROM_BYTEARRAY QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
  target_link_libraries(pagimo_${name} PUBLIC ${ARG_LIBS})
endfunction()

# pagimo_add_test(NAME SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [GUI])
# A GoogleTest executable whose cases are registered one by one with CTest.
# GUI: the test main creates a QApplication (offscreen unless QT_QPA_PLATFORM says otherwise).
function(pagimo_add_test name)
  cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/TestMain.cpp)
  if(ARG_GUI)
    target_compile_definitions(${name} PRIVATE PAGIMO_TEST_GUI=1)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
  endif()
  target_compile_options(${name} PRIVATE ${PAGIMO_WARNINGS})
  target_compile_definitions(${name} PRIVATE PAGIMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             PAGIMO_BINARY_DIR="${PROJECT_BINARY_DIR}")
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest Qt6::Core)
  # The environment (offscreen Qt, the project's fontconfig file) is set by TestMain.cpp, so that
  # test discovery at build time sees the same as ctest.
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# pagimo_add_bench(NAME SOURCES ... [LIBS ...])
function(pagimo_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${PAGIMO_WARNINGS})
  target_compile_definitions(${name} PRIVATE PAGIMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()

# pagimo_add_fuzzer(NAME SOURCES ... [LIBS ...])
function(pagimo_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  # "fuzzers" builds every fuzz target and only what they need (scripts/fuzz.sh).
  if(NOT TARGET fuzzers)
    add_custom_target(fuzzers)
  endif()
  add_dependencies(fuzzers ${name})
endfunction()

# pagimo_forbid_links(TARGET FORBIDDEN...)
# Fails the configuration when TARGET, or any of the project's libraries it links (followed
# through their own links), links one of FORBIDDEN directly. Call it after every folder is added.
# Imported libraries are not followed: Qt's printer support needs Qt Widgets itself, which is no
# dependency of ours.
function(pagimo_forbid_links target)
  set(pending ${target})
  set(seen)
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(links ${current} LINK_LIBRARIES)
    if(NOT links)
      continue()
    endif()
    foreach(link ${links})
      if(link IN_LIST ARGN)
        message(FATAL_ERROR "${target} must not link ${link} (${current} links it)")
      endif()
      if(TARGET ${link} AND link MATCHES "^pagimo_")
        list(APPEND pending ${link})
      endif()
    endforeach()
  endwhile()
endfunction()
