# The publisher whose Authenticode signature the installer must carry before
# the agent starts it: the exact subject common name of the vendor's code
# signing certificate. Empty (the default): no signature check, and the agent
# imports neither wintrust nor crypt32.
#
# Checked at configure time; `cmake -DINSTALLER_PUBLISHER=NAME -P` on this
# file runs the check alone.
set(INSTALLER_PUBLISHER "" CACHE STRING
    "Exact common name of the installer's signing certificate; empty: no check")

function(check_installer_publisher value)
  set(hint "Set INSTALLER_PUBLISHER to the exact common name (CN) of the certificate that signs the installer, or leave it empty")
  string(STRIP "${value}" stripped)
  if(stripped STREQUAL "")
    message(FATAL_ERROR "INSTALLER_PUBLISHER is blank. ${hint}")
  endif()
  # Characters, not bytes: UTF-8 continuation bytes do not count.
  string(ASCII 128 first_continuation)
  string(ASCII 191 last_continuation)
  string(REGEX REPLACE "[${first_continuation}-${last_continuation}]" "" leads "${value}")
  string(LENGTH "${leads}" characters)
  if(characters GREATER 64)
    message(FATAL_ERROR "INSTALLER_PUBLISHER '${value}' has ${characters} characters; a common name has at most 64. ${hint}")
  endif()
  if(value MATCHES "[\"']")
    message(FATAL_ERROR "INSTALLER_PUBLISHER '${value}' holds a quote. ${hint}")
  endif()
  foreach(code RANGE 1 31)
    string(ASCII ${code} control)
    string(FIND "${value}" "${control}" found)
    if(NOT found EQUAL -1)
      message(FATAL_ERROR "INSTALLER_PUBLISHER holds the control character ${code}. ${hint}")
    endif()
  endforeach()
  string(ASCII 127 delete)
  string(FIND "${value}" "${delete}" found)
  if(NOT found EQUAL -1)
    message(FATAL_ERROR "INSTALLER_PUBLISHER holds the control character 127. ${hint}")
  endif()
endfunction()

if(NOT INSTALLER_PUBLISHER STREQUAL "")
  check_installer_publisher("${INSTALLER_PUBLISHER}")
endif()

if(CMAKE_SCRIPT_MODE_FILE)
  return()  # cmake -DINSTALLER_PUBLISHER=... -P: only the check
endif()

# The name reaches the code through a generated header, so that no shell or
# build tool quoting stands between the vendor's text and the compiler.
string(REPLACE "\\" "\\\\" publisher_literal "${INSTALLER_PUBLISHER}")
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/run/installer_publisher.h"
  CONTENT "// Generated from INSTALLER_PUBLISHER; empty: installers are not checked.
#pragma once
inline constexpr char16_t kInstallerPublisher[] = u\"@publisher_literal@\";
" @ONLY)
