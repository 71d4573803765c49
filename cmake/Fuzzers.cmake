# libFuzzer targets (clang) for the readers of untrusted text, under
# AddressSanitizer and UndefinedBehaviorSanitizer. The core is linked with the
# fake platform, which only answers the character-type query here.
set(fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -g)
foreach(fuzzer version_comparison_fuzzer trim_fuzzer first_line_fuzzer)
  add_executable(${fuzzer} tests/fuzz/${fuzzer}.cc tests/unit/fake_platform.cc)
  target_include_directories(${fuzzer} PRIVATE tests/unit tests/fuzz)
  target_link_libraries(${fuzzer} PRIVATE agent_core)
  target_compile_options(${fuzzer} PRIVATE ${fuzz_flags})
  target_link_options(${fuzzer} PRIVATE ${fuzz_flags})
endforeach()
target_compile_options(agent_core PRIVATE -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g)
