# A Linux plug-in module as a host on another machine sees it, read with objdump:
#   cmake -DOBJDUMP=<objdump> -DMODULE=<file> -DEXPORTS=<name,...> -DGLIBC=<version> -P check_module.cmake
# Exactly the named symbols exported, no C++ runtime needed (only the C
# library, libm and the dynamic loader), and no C library symbol newer than GLIBC.
foreach(var OBJDUMP MODULE EXPORTS GLIBC)
  if(NOT ${var})
    message(FATAL_ERROR "check_module.cmake needs -D${var}=...")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p -T ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p -T ${MODULE} failed")
endif()

set(faults "")

string(REGEX MATCHALL "\n  NEEDED +[^\n]+" needed "${dump}")
list(TRANSFORM needed REPLACE "^\n  NEEDED +" "")
foreach(library IN LISTS needed)
  if(NOT library MATCHES "^(libc\\.so\\.6|libm\\.so\\.6|ld-linux[-a-z0-9_]*\\.so\\.[0-9]+)$")
    string(APPEND faults "  needs ${library}: hosts without it could not load the module\n")
  endif()
endforeach()

# Dynamic symbol lines: address, flags, section, size, version, name.
string(REGEX MATCHALL "\n[0-9a-f]+ [^\n]*\t[0-9a-f]+ +[^\n]+" symbols "${dump}")
set(exports "")
set(newest "0")
foreach(line IN LISTS symbols)
  string(REGEX MATCH "[^ \t]+$" name "${line}")
  # Local section symbols (some linkers list them) are no exports.
  if(NOT line MATCHES "\\*UND\\*" AND NOT line MATCHES "^\n[0-9a-f]+ l ")
    list(APPEND exports ${name})
  endif()
  if(line MATCHES "GLIBC_([0-9.]+)" AND CMAKE_MATCH_1 VERSION_GREATER newest)
    set(newest ${CMAKE_MATCH_1})
    set(newest_symbol ${name})
  endif()
endforeach()
string(REPLACE "," ";" EXPORTS "${EXPORTS}")
list(SORT exports)
list(SORT EXPORTS)
if(NOT exports STREQUAL EXPORTS)
  string(APPEND faults "  exports [${exports}], not exactly [${EXPORTS}]\n")
endif()
if(newest VERSION_GREATER GLIBC)
  string(APPEND faults "  needs the C library ${newest} (${newest_symbol}), newer than ${GLIBC}\n")
endif()

if(faults)
  message(FATAL_ERROR "${MODULE}:\n${faults}")
endif()
message(STATUS "${MODULE}: exports ${exports}, needs ${needed}, C library ${newest} or later")
