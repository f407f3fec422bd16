# Shared build settings for Klangor's own targets.

# Warnings are errors for our own code only; third-party headers come in as system headers.
set(KLANGOR_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Wimplicit-fallthrough -Werror
    # GCC 12 reports false -Wrestrict errors inside std::string at -O3 (GCC bug 105329).
    -Wno-restrict)

set(KLANGOR_SANITIZER_FLAGS "")
if(KLANGOR_SANITIZE STREQUAL "thread")
  set(KLANGOR_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(KLANGOR_SANITIZE)
  set(KLANGOR_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
endif()

function(klangor_target_defaults target)
  target_compile_options(${target} PRIVATE ${KLANGOR_WARNINGS} ${KLANGOR_SANITIZER_FLAGS})
  target_link_options(${target} PRIVATE ${KLANGOR_SANITIZER_FLAGS})
endfunction()

# klangor_add_library(name SOURCES... [DEPS lib...])
# One static library per subsystem folder; its public headers are included as "folder/name.h".
function(klangor_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(klangor_${name} STATIC ${ARG_SOURCES})
  target_include_directories(klangor_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(klangor_${name} PUBLIC ${ARG_DEPS})
  klangor_target_defaults(klangor_${name})
  if(KLANGOR_SANITIZE)
    target_link_options(klangor_${name} INTERFACE ${KLANGOR_SANITIZER_FLAGS})
  endif()
endfunction()

# klangor_add_test(name SOURCES... [DEPS lib...] [LABELS label...])
# A GoogleTest program registered with ctest, one test case per gtest test.
function(klangor_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE klangor_test_support ${ARG_DEPS} GTest::gtest)
  klangor_target_defaults(${name})
  set(properties ENVIRONMENT "KLANGOR_BUILD_DIR=${PROJECT_BINARY_DIR}")
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
