# Helpers shared by every folder.

# tessel_platform_module(NAME SOURCES... [DEPS ...])
# A module of the platform layer: a shared library with default visibility, one per process,
# so its state (registry cache, COM runtime, apartment state) exists once however many
# in-process servers load it.
function(tessel_platform_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(platform_${name} SHARED ${ARG_SOURCES})
  target_include_directories(platform_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(platform_${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  set_target_properties(platform_${name} PROPERTIES OUTPUT_NAME tessel_${name})
endfunction()

# tessel_inproc_server(NAME SOURCES...)
# A deliverable in-process server: hidden visibility, only its COM entry points exported
# (mark them with TESSEL_EXPORT from platform/com/server.h).
function(tessel_inproc_server name)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    PREFIX "lib")
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# tessel_static_library(NAME SOURCES... [DEPS ...] [PRIVATE_DEPS ...])
# A piece of a deliverable built once and linked into the deliverables that share it: the tree
# as its include path, hidden visibility (nothing of it is exported from a library that links
# it), position-independent so shared libraries can take it.
function(tessel_static_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    POSITION_INDEPENDENT_CODE ON)
endfunction()

# tessel_test(NAME SOURCES... LIBS ... [TOOLS] [REAL] [SERVERS target...])
# TOOLS: the test runs regsvr and comcall, named by the definitions REGSVR and COMCALL.
# REAL: some case of the program starts a real component (a private cupsd, an Xvfb display);
# every case of the program gets the CTest label "real" (and the program the definition
# TESSEL_REAL_LABEL, without which starting one fails where real components are required), and
# CI checks that the cases so labelled ran, passed and none of them skipped (ctest -L real).
# SERVERS: in-process server targets the test loads or registers, each named by the definition
# <TARGET>_LIBRARY (upper case), built before the test.
function(tessel_test name)
  cmake_parse_arguments(ARG "TOOLS;REAL" "" "SOURCES;LIBS;SERVERS" ${ARGN})
  if(NOT TESSEL_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  if(ARG_TOOLS)
    add_dependencies(${name} regsvr comcall)
    target_compile_definitions(${name} PRIVATE
      REGSVR="$<TARGET_FILE:regsvr>" COMCALL="$<TARGET_FILE:comcall>")
  endif()
  foreach(server IN LISTS ARG_SERVERS)
    string(TOUPPER ${server} upper)
    add_dependencies(${name} ${server})
    target_compile_definitions(${name} PRIVATE ${upper}_LIBRARY="$<TARGET_FILE:${server}>")
  endforeach()
  set(labels "")
  if(ARG_REAL)
    target_compile_definitions(${name} PRIVATE TESSEL_REAL_LABEL=1)
    set(labels LABELS real)
  endif()
  # Each property takes one value here: gtest_discover_tests passes the properties on as one
  # flat list, so a value holding a list would be cut into name and value pairs that do not
  # belong together (and the properties after it would be lost).
  gtest_discover_tests(${name}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               ENVIRONMENT_MODIFICATION "TESSEL_BIN=set:${CMAKE_BINARY_DIR}/bin"
               ${labels}
    DISCOVERY_TIMEOUT 60)
endfunction()

# tessel_sanitize_everything()
# Every target of the tree built with AddressSanitizer and UndefinedBehaviorSanitizer; an
# undefined-behaviour report ends the program like an address error does, so a test sees it.
macro(tessel_sanitize_everything)
  set(_tessel_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined
                         -fno-omit-frame-pointer)
  add_compile_options(${_tessel_sanitizers})
  # GCC 12 with the sanitizers sees values "maybe uninitialized" inside libstdc++ (<regex>'s
  # states, std::optional) that the default build, which keeps the warning, does not.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
  add_link_options(-fsanitize=address,undefined)
endmacro()

# tessel_fuzz_instrument_everything()
# Coverage for the fuzzing engine and the sanitizers in every target, so the libraries a fuzz
# target links are explored and checked as well as the target itself.
macro(tessel_fuzz_instrument_everything)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endmacro()

# tessel_fuzz_target(NAME SOURCES... LIBS ...)
# A libFuzzer program (clang): the fuzzing engine, AddressSanitizer and UndefinedBehaviorSanitizer
# on the target's own code. Its seed corpus is fuzz/corpus/NAME.
function(tessel_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(fuzz_${name} ${ARG_SOURCES})
  target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS})
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
endfunction()
