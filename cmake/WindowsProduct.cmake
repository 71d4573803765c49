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
