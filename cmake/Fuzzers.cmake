# libFuzzer targets (clang) for the readers of untrusted text, under
# AddressSanitizer and UndefinedBehaviorSanitizer. The core is linked with the
# fake platform, which only answers the character-type query here.
# Line tables are all that reports need.
set(fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -gline-tables-only)
set(fuzz_no_link_flags -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
  -gline-tables-only)
add_library(fuzz_fake_platform OBJECT tests/unit/fake_platform.cc)  # built once
target_include_directories(fuzz_fake_platform PRIVATE src ${CMAKE_BINARY_DIR}/generated)
target_compile_options(fuzz_fake_platform PRIVATE ${fuzz_no_link_flags})
foreach(fuzzer version_comparison_fuzzer trim_fuzzer first_line_fuzzer)
  add_executable(${fuzzer} tests/fuzz/${fuzzer}.cc)
  target_include_directories(${fuzzer} PRIVATE tests/unit tests/fuzz)
  target_link_libraries(${fuzzer} PRIVATE fuzz_fake_platform agent_core)
  target_compile_options(${fuzzer} PRIVATE ${fuzz_flags})
  target_link_options(${fuzzer} PRIVATE ${fuzz_flags})
endforeach()
target_compile_options(agent_core PRIVATE ${fuzz_no_link_flags})
