# sorn_module(NAME SOURCES ... DEPS ...)
# One static library per module folder. Includes are written from the repository root
# ("platform/sync/event.h"). A module without sources yet is an interface library so that
# dependants can already link it.
function(sorn_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPS" ${ARGN})
  if(M_SOURCES)
    add_library(sorn_${name} STATIC ${M_SOURCES})
    target_include_directories(sorn_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(sorn_${name} PUBLIC ${M_DEPS})
  else()
    add_library(sorn_${name} INTERFACE)
    target_include_directories(sorn_${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(sorn_${name} INTERFACE ${M_DEPS})
  endif()
endfunction()

# sorn_test(NAME SOURCES ... DEPS ...)
# One GoogleTest executable per module's test folder, registered with CTest. Qt tests run on
# the offscreen platform; settings go to a scratch folder, never the user's.
function(sorn_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE SORN_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
                                             SORN_BUILD_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SORN_AUDIO=sim;SORN_CHECK_WINDOW_THREAD=1;SORN_CONFIG_DIR=${PROJECT_BINARY_DIR}/test-config")
endfunction()
