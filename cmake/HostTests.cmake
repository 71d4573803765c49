# Unit tests on the build machine: the core linked with the scripted fake of
# the Windows operations, under AddressSanitizer and UndefinedBehaviorSanitizer.
# GoogleTest as the system has it built (Debian's libgtest-dev), else from its
# sources.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
find_package(GTest QUIET)
add_compile_options(${sanitizers} -g1)  # line tables: all that reports need
add_link_options(${sanitizers})

if(NOT GTest_FOUND)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GOOGLETEST_SOURCE_DIR} googletest EXCLUDE_FROM_ALL)
endif()

enable_testing()
include(GoogleTest)
add_executable(unit_tests
  tests/unit/fake_platform.cc
  tests/unit/component_number_test.cc
  tests/unit/download_to_file_test.cc
  tests/unit/first_line_test.cc
  tests/unit/installed_version_test.cc
  tests/unit/installer_signature_test.cc
  tests/unit/text_helpers_test.cc
  tests/unit/update_run_test.cc
  tests/unit/version_comparison_test.cc
)
target_link_libraries(unit_tests PRIVATE agent_core GTest::gtest_main)
target_include_directories(unit_tests PRIVATE tests/unit)
# The tests compare the compiled-in server with the configured one.
target_compile_definitions(unit_tests PRIVATE "UPDATE_SERVER_HOST=\"${update_server_host}\"")
gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST)
