# One place for the language level, warnings and sanitizer flags of every target.
add_library(fixcaster_options INTERFACE)
target_compile_features(fixcaster_options INTERFACE cxx_std_20)
target_compile_options(fixcaster_options INTERFACE -Wall -Wextra -Werror)
if(FIXCASTER_SANITIZE)
  target_compile_options(fixcaster_options INTERFACE
    -fsanitize=${FIXCASTER_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(fixcaster_options INTERFACE -fsanitize=${FIXCASTER_SANITIZE})
endif()

# fixcaster_module(NAME DEPS ...): a static library from every .cpp of src/NAME.
# A module links only the modules above it; that keeps the core free of widgets.
function(fixcaster_module name)
  cmake_parse_arguments(M "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(fixcaster_${name} STATIC ${sources})
    target_include_directories(fixcaster_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(fixcaster_${name} PUBLIC fixcaster_options ${M_DEPS})
  else()
    add_library(fixcaster_${name} INTERFACE)
    target_include_directories(fixcaster_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(fixcaster_${name} INTERFACE fixcaster_options ${M_DEPS})
  endif()
endfunction()

# fixcaster_tests(NAME DEPS ... [ENVIRONMENT VAR=value]): one GoogleTest executable from
# every .cpp of tests/NAME, its cases labelled NAME for `ctest -L NAME`.
function(fixcaster_tests name)
  cmake_parse_arguments(T "" "" "DEPS;ENVIRONMENT" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  # gtest_discover_tests keeps only the first entry of a list property, so more
  # than one would be dropped without a word: refuse them instead.
  list(LENGTH T_ENVIRONMENT env_count)
  if(env_count GREATER 1)
    message(FATAL_ERROR "fixcaster_tests(${name}): one ENVIRONMENT entry at most; set the others in the test's main")
  endif()
  add_executable(${name}_tests ${sources})
  target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name}_tests PRIVATE fixcaster_options ${T_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}_tests
    PROPERTIES LABELS ${name} ENVIRONMENT "${T_ENVIRONMENT}"
    DISCOVERY_TIMEOUT 60)
endfunction()
