# The shipped executable: the core linked with the real Windows side, built
# small and fully static so it needs no DLL but the system's own.
enable_language(RC)

add_library(agent_platform STATIC
  src/platform/windows/advapi32.cc
  src/platform/windows/kernel32.cc
  src/platform/windows/shell32.cc
  src/platform/windows/wininet.cc
)
target_include_directories(agent_platform PUBLIC src)
target_compile_definitions(agent_platform PRIVATE WIN32_LEAN_AND_MEAN UNICODE _UNICODE)

add_executable(bw_agent src/run/main.cc src/run/agent.rc)
target_link_libraries(bw_agent PRIVATE agent_core agent_platform
  wininet shell32 advapi32 kernel32)

foreach(target agent_core agent_platform bw_agent)
  # Optimise for size and let the linker drop every unused function.
  target_compile_options(${target} PRIVATE -Os -ffunction-sections -fdata-sections)
endforeach()
target_link_options(bw_agent PRIVATE
  -static -static-libgcc -static-libstdc++  # no libgcc/libstdc++ DLLs
  -mconsole -s -Wl,--gc-sections)

# The stand-in for the product's installer used by the end-to-end tests.
add_executable(bw_test_installer tests/e2e/test_installer.cc)
target_link_options(bw_test_installer PRIVATE -static -mwindows)

# The end-to-end suite runs these builds under wine64 on the build machine.
option(AGENT_END_TO_END_TESTS "Run the end-to-end suite under Wine from ctest" OFF)
if(AGENT_END_TO_END_TESTS)
  enable_testing()
  add_test(NAME end_to_end_under_wine COMMAND ${CMAKE_SOURCE_DIR}/tools/run_e2e)
  set_tests_properties(end_to_end_under_wine PROPERTIES ENVIRONMENT
    "E2E_AGENT=$<TARGET_FILE:bw_agent>;E2E_INSTALLER=$<TARGET_FILE:bw_test_installer>")
endif()
