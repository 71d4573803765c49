# The vendor's update server, compiled into the agent. Either
# - a bare host name or IPv4 address: plain HTTP on port 8080, or
# - https://HOST or https://HOST:PORT: HTTPS to the DNS name HOST on PORT
#   (443 by default), with the server's certificate checked against the
#   machine's trusted roots.
# The paths on the server are fixed, so a path is never part of it. The
# default is under the reserved .example domain, which never resolves, so an
# agent built without choosing a server does nothing.
#
# Checked at configure time; `cmake -DUPDATE_SERVER=VALUE -P` on this file
# runs the check alone and prints what the agent would connect to.
set(UPDATE_SERVER "updates.brenwick.example" CACHE STRING
    "The vendor's update server: a bare host (HTTP, port 8080) or https://HOST[:PORT]")

# Sets update_server_host, update_server_port and update_server_secure (true
# or false) in the caller's scope, or fails with a message that says what is wrong.
function(parse_update_server value)
  set(hint "Set UPDATE_SERVER to a bare host name or IP address for plain HTTP on port 8080 (-DUPDATE_SERVER=updates.example.com), or to https://HOST[:PORT] for HTTPS (-DUPDATE_SERVER=https://updates.example.com)")
  set(label "[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?")
  set(secure false)
  set(port 8080)
  set(host "${value}")
  if(value MATCHES "^([A-Za-z][A-Za-z0-9+.-]*)://(.*)$")
    string(TOLOWER "${CMAKE_MATCH_1}" scheme)
    set(host "${CMAKE_MATCH_2}")
    if(NOT scheme STREQUAL "https")
      message(FATAL_ERROR "UPDATE_SERVER '${value}' has the scheme '${scheme}'; for plain HTTP on port 8080 give the bare host, the only scheme is https. ${hint}")
    endif()
    set(secure true)
    set(port 443)
  endif()
  # What follows the scheme, or the bare value: HOST, or HTTPS's HOST:PORT.
  if(host MATCHES "@")
    message(FATAL_ERROR "UPDATE_SERVER '${value}' has user info; the agent never sends credentials. ${hint}")
  elseif(host MATCHES "[/?#]")
    message(FATAL_ERROR "UPDATE_SERVER '${value}' has a path; the file paths on the server are fixed. ${hint}")
  elseif(secure AND (host MATCHES "^\\[" OR host MATCHES "^[0-9.]+(:|$)"))
    message(FATAL_ERROR "UPDATE_SERVER '${value}' names an IP address; HTTPS needs the DNS name that the server's certificate is issued for. ${hint}")
  elseif(host MATCHES "^([^:]*):(.*)$")
    if(NOT secure)
      message(FATAL_ERROR "UPDATE_SERVER '${value}' has a port; a bare host always means plain HTTP on port 8080, another port needs https://HOST:PORT. ${hint}")
    endif()
    set(host "${CMAKE_MATCH_1}")
    set(port "${CMAKE_MATCH_2}")
    string(LENGTH "${port}" digits)
    if(NOT port MATCHES "^[1-9][0-9]*$" OR digits GREATER 5 OR port GREATER 65535)
      message(FATAL_ERROR "UPDATE_SERVER '${value}' has the port '${port}'; a port is a number from 1 to 65535. ${hint}")
    endif()
  endif()
  string(LENGTH "${host}" length)
  if(length GREATER 253 OR NOT host MATCHES "^${label}(\\.${label})*$")
    message(FATAL_ERROR "UPDATE_SERVER '${value}' does not name a valid host. ${hint}")
  endif()
  set(update_server_host "${host}" PARENT_SCOPE)
  set(update_server_port "${port}" PARENT_SCOPE)
  set(update_server_secure "${secure}" PARENT_SCOPE)
endfunction()

parse_update_server("${UPDATE_SERVER}")
if(update_server_secure)
  message(STATUS "Update server: HTTPS to ${update_server_host} on port ${update_server_port}")
else()
  message(STATUS "Update server: plain HTTP to ${update_server_host} on port 8080")
endif()

if(CMAKE_SCRIPT_MODE_FILE)
  return()  # cmake -DUPDATE_SERVER=... -P: only the check
endif()

# Reaches the code through a generated header, like the publisher's name.
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/run/update_server.h"
  CONTENT "// Generated from UPDATE_SERVER: where the agent fetches its files, and how.
#pragma once
#include <cstdint>
inline constexpr char16_t kUpdateServerHost[] = u\"@update_server_host@\";
inline constexpr std::uint16_t kServerPort = @update_server_port@;
inline constexpr bool kSecureTransport = @update_server_secure@;
" @ONLY)
