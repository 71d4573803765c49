# EVENT_LOG=ON: every start writes one record to the Application event log,
# saying what the run ended in and why, under the source
# "BrenwickUpdateAgent", with a message table in the exe. Off by default: the
# agent then writes nothing anywhere and carries no message text.
#
# Checked at configure time; `cmake -DEVENT_LOG=VALUE -P` on this file runs
# the check alone.
set(EVENT_LOG OFF CACHE STRING "ON: one record in the Application event log per start")

string(TOUPPER "${EVENT_LOG}" event_log_value)
if(event_log_value MATCHES "^(ON|YES|TRUE|1)$")
  set(event_log true)
elseif(event_log_value MATCHES "^(OFF|NO|FALSE|0)$")
  set(event_log false)
else()
  message(FATAL_ERROR "EVENT_LOG '${EVENT_LOG}' is neither ON nor OFF. Set EVENT_LOG=ON for one record in the Application event log per start, or leave it OFF (the default) for none")
endif()

if(CMAKE_SCRIPT_MODE_FILE)
  return()  # cmake -DEVENT_LOG=... -P: only the check
endif()

file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/run/event_log_build.h"
  CONTENT "// Generated from EVENT_LOG: whether each start writes a record to the event log.
#pragma once
inline constexpr bool kEventLog = @event_log@;
" @ONLY)
