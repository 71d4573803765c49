# The update server's host, compiled into the agent. It is passed unchanged as
# the server name of a plain HTTP connection on port 8080, so it must be a bare
# host name or IPv4 address: a scheme, a path or a port would never connect.
# The default is under the reserved .example domain, which never resolves, so
# an agent built without choosing a server does nothing.
set(UPDATE_SERVER "updates.brenwick.example" CACHE STRING
    "Host name or IP address of the vendor's update server (port 8080, HTTP)")

function(check_update_server value)
  set(hint "Set UPDATE_SERVER to a bare host name or IP address, for example -DUPDATE_SERVER=updates.example.com")
  if(value MATCHES "://")
    message(FATAL_ERROR "UPDATE_SERVER '${value}' has a scheme; the agent always speaks plain HTTP on port 8080. ${hint}")
  elseif(value MATCHES "/")
    message(FATAL_ERROR "UPDATE_SERVER '${value}' has a path; the file paths on the server are fixed. ${hint}")
  elseif(value MATCHES ":")
    message(FATAL_ERROR "UPDATE_SERVER '${value}' has a port; the agent always connects to port 8080. ${hint}")
  endif()
  string(LENGTH "${value}" length)
  set(label "[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?")
  if(length GREATER 253 OR NOT value MATCHES "^${label}(\\.${label})*$")
    message(FATAL_ERROR "UPDATE_SERVER '${value}' is not a valid host name or IP address. ${hint}")
  endif()
endfunction()

check_update_server("${UPDATE_SERVER}")
