# Helpers that keep the per-folder CMake files short.

# qor_platform_area(<name> SOURCES <files...> [DEPS <targets...>] [LIBS <libs...>])
# One folder of the platform layer: a static library qor_<name> of position-independent
# objects. Tests of the folder link it directly; the shared platform library takes all
# of them whole.
function(qor_platform_area name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LIBS" ${ARGN})
  add_library(qor_${name} STATIC ${ARG_SOURCES})
  target_include_directories(qor_${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/platform/internal)
  target_link_libraries(qor_${name} PUBLIC qor_headers ${ARG_DEPS} PRIVATE ${ARG_LIBS})
  set_property(GLOBAL APPEND PROPERTY QOR_PLATFORM_AREAS qor_${name})
endfunction()

# qor_test(<name> SOURCES <files...> [LIBS <targets...>])
# A GoogleTest program registered with CTest under its name.
function(qor_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QOR_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
