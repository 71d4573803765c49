# The shipped executable: the core linked with the real Windows side, fully
# static so it needs no DLL but the system's own, and small (at most 64 KiB).
#
# What keeps it small:
# - -Os, one section per function, --gc-sections and link-time optimisation;
# - no iostreams, locale or std::string: files go through kernel32 directly
#   and texts are std::u16string, which the runtime does not pre-instantiate;
# - small_runtime.cc replaces the runtime hooks that drag in the demangler,
#   printf, std::string-based exception classes, thread-local storage and
#   libgcc's threading layer; exceptions still work (bw_runtime_check proves
#   it under Wine);
# - on 32-bit x86, the TLS template and the C runtime's tables share .data
#   (cmake/i686-sections.ld), saving two 512-byte file blocks.
enable_language(RC)
# Every Windows target links the core's link-time-optimised objects, and
# mingw's i686 linker rejects mixing them with ordinary ones.
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)

add_library(agent_platform STATIC
  src/platform/windows/advapi32.cc
  src/platform/windows/kernel32.cc
  src/platform/windows/shell32.cc
  src/platform/windows/wininet.cc
  src/platform/windows/wininet_query_option.cc
)
target_include_directories(agent_platform PUBLIC src)
target_compile_definitions(agent_platform PRIVATE WIN32_LEAN_AND_MEAN UNICODE _UNICODE)

# Signature checks bring in wintrust and crypt32, only when a publisher is
# pinned.
if(NOT INSTALLER_PUBLISHER STREQUAL "")
  target_sources(agent_platform PRIVATE src/platform/windows/wintrust.cc)
  target_link_libraries(agent_platform PUBLIC wintrust crypt32)
endif()

add_executable(bw_agent src/run/main.cc src/run/agent.rc
  src/platform/windows/small_runtime.cc)

# With EVENT_LOG: the event log's calls, and the message table that gives
# each event ID its sentence, compiled by windmc next to the windres in use
# (its texts are ASCII, kept as such).
if(event_log)
  target_sources(agent_platform PRIVATE src/platform/windows/advapi32_event_log.cc)
  string(REGEX REPLACE "windres([^/]*)$" "windmc\\1" windmc "${CMAKE_RC_COMPILER}")
  set(messages ${CMAKE_BINARY_DIR}/generated/messages)
  add_custom_command(
    OUTPUT ${messages}/event_messages.rc ${messages}/event_messages.h
           ${messages}/MSG00409.bin
    COMMAND ${CMAKE_COMMAND} -E make_directory ${messages}
    COMMAND ${windmc} --ascii_out -h ${messages} -r ${messages}
            ${CMAKE_SOURCE_DIR}/src/run/event_messages.mc
    DEPENDS ${CMAKE_SOURCE_DIR}/src/run/event_messages.mc
    COMMENT "Compiling the event log's message table")
  target_sources(bw_agent PRIVATE ${messages}/event_messages.rc)
  target_include_directories(agent_platform PRIVATE ${messages}
    ${CMAKE_BINARY_DIR}/generated)
  set_source_files_properties(src/platform/windows/advapi32_event_log.cc
    PROPERTIES OBJECT_DEPENDS ${messages}/event_messages.h)
endif()
target_link_libraries(bw_agent PRIVATE agent_core agent_platform
  wininet shell32 advapi32 kernel32)

set(small_static_link_options
  -static -static-libgcc -static-libstdc++  # no libgcc/libstdc++ DLLs
  -s -Wl,--gc-sections
  -Wl,--disable-runtime-pseudo-reloc        # see small_runtime.cc
  -Wl,--no-insert-timestamp)                # the same bytes from every build
# The shipped 32-bit exe: two sections fewer (see the script).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND small_static_link_options
    -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/i686-sections.ld)
endif()
# No build path in the output: the same sources give the same bytes wherever
# they are built.
# On 32-bit x86 the stack is kept at the 4-byte alignment that Windows
# guarantees, rather than realigned to 16 for SSE the agent never uses.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(stack_alignment -mpreferred-stack-boundary=2)
endif()
foreach(target agent_core agent_platform bw_agent)
  target_compile_options(${target} PRIVATE -Os ${stack_alignment}
    -ffunction-sections -fdata-sections
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
endforeach()
target_link_options(bw_agent PRIVATE ${small_static_link_options} -mconsole
  ${stack_alignment})
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set_property(TARGET bw_agent APPEND PROPERTY LINK_DEPENDS
    ${CMAKE_SOURCE_DIR}/cmake/i686-sections.ld)
endif()

# Proves that exceptions thrown through the replaced runtime hooks are caught.
add_executable(bw_runtime_check tests/e2e/runtime_check.cc
  src/platform/windows/small_runtime.cc)
target_compile_options(bw_runtime_check PRIVATE -Os)
target_link_options(bw_runtime_check PRIVATE ${small_static_link_options} -mconsole)

# Stand-ins used by the end-to-end tests: the product's installer, and a
# program that holds a file, or the name of the run lock, as others may.
add_executable(bw_test_installer tests/e2e/test_installer.cc)
target_link_options(bw_test_installer PRIVATE -static -mwindows)
add_executable(bw_trust_root tests/e2e/trust_root.cc)
target_link_libraries(bw_trust_root PRIVATE crypt32 shell32)
target_link_options(bw_trust_root PRIVATE -static -mconsole)
add_executable(bw_file_holder tests/e2e/file_holder.cc)
target_link_libraries(bw_file_holder PRIVATE shell32 advapi32 ntdll)
target_link_options(bw_file_holder PRIVATE -static -mconsole)

# Benchmarks: the agent's download against a plain WinINet loop, and an exe
# that does nothing, linked like the agent.
add_executable(bw_download_bench EXCLUDE_FROM_ALL tests/bench/download_bench.cc)
target_link_libraries(bw_download_bench PRIVATE agent_core agent_platform
  wininet shell32 advapi32)
target_link_options(bw_download_bench PRIVATE -static -mconsole)
add_executable(bw_do_nothing EXCLUDE_FROM_ALL tests/bench/do_nothing.cc
  src/platform/windows/small_runtime.cc)
target_link_options(bw_do_nothing PRIVATE ${small_static_link_options} -mconsole)

# The end-to-end suite runs these builds under wine64 on the build machine:
# the whole suite, or for the hardened build (HTTPS and a pinned publisher)
# the cases about signed installers, then, over TLS, those about certificates.
option(AGENT_END_TO_END_TESTS "Run the end-to-end suite under Wine from ctest" OFF)
if(AGENT_END_TO_END_TESTS)
  enable_testing()
  if(INSTALLER_PUBLISHER STREQUAL "")
    set(e2e_cases tests/e2e)
  else()
    set(e2e_cases tests/e2e/test_publisher.py tests/e2e/test_tls.py
      tests/e2e/test_event_log.py)
  endif()
  add_test(NAME end_to_end_under_wine COMMAND ${CMAKE_SOURCE_DIR}/tools/run_e2e ${e2e_cases})
  set_tests_properties(end_to_end_under_wine PROPERTIES ENVIRONMENT
    "E2E_AGENT=$<TARGET_FILE:bw_agent>;E2E_INSTALLER=$<TARGET_FILE:bw_test_installer>;E2E_RUNTIME_CHECK=$<TARGET_FILE:bw_runtime_check>;E2E_FILE_HOLDER=$<TARGET_FILE:bw_file_holder>;E2E_TRUST_ROOT=$<TARGET_FILE:bw_trust_root>;E2E_PUBLISHER=${INSTALLER_PUBLISHER};E2E_SERVER_NAME=${update_server_host};E2E_TLS_PORT=$<$<BOOL:${update_server_secure}>:${update_server_port}>;E2E_WORK=${CMAKE_BINARY_DIR}/e2e;E2E_TIME_LIMITS=$<IF:$<BOOL:${AGENT_SHORT_TIME_LIMITS}>,short,shipped>;E2E_EVENT_LOG=${event_log}")
endif()
