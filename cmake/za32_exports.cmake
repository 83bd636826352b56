# Run as a script at build time (cmake -P): from the module's export table (DEF) and
# the engine's compiled objects (listed one a line in OBJECT_LIST), writes
#   LINK_DEF    the table to link ZA32.DLL with: every export whose function the engine
#               defines (all of them once every subsystem is in);
#   IMPORT_DEF  the table for the import library: LIBRARY "ZA32.DLL", decorated names;
#   PENDING     the exports whose function is not defined yet, one a line, and WinMain
#               when the module lacks its program entry.
# A missing function not named in STILL_TO_COME (comma-separated) is an error.
cmake_minimum_required(VERSION 3.25)
file(STRINGS "${OBJECT_LIST}" objects)
execute_process(COMMAND "${NM}" -g --defined-only ${objects}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on the engine objects")
endif()

file(STRINGS "${DEF}" lines)
set(link_def "")
set(import_def "")
set(pending "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*LIBRARY")
    string(APPEND link_def "${line}\n")
    string(APPEND import_def "LIBRARY \"ZA32.DLL\"\n")
  elseif(line MATCHES "^[ \t]*([A-Za-z_][A-Za-z0-9_]*)=([A-Za-z0-9_]+@[0-9]+)[ \t]+(@[0-9]+)")
    set(name "${CMAKE_MATCH_1}")
    set(decorated "${CMAKE_MATCH_2}")
    set(ordinal "${CMAKE_MATCH_3}")
    string(APPEND import_def "  ${decorated} ${ordinal}\n")
    string(REGEX MATCH "[ \t]_${decorated}\n" defined "${symbols}\n")
    if(defined)
      string(APPEND link_def "${line}\n")
    else()
      string(APPEND pending "${name}\n")
    endif()
  elseif(line MATCHES "^[ \t]*;" OR line STREQUAL "")
    continue()
  else()
    string(APPEND link_def "${line}\n")
    string(APPEND import_def "${line}\n")
  endif()
endforeach()

# The program entry is not exported, but the module must carry it.
string(REGEX MATCH "[ \t]_WinMain@16\n" defined "${symbols}\n")
if(NOT defined)
  string(APPEND pending "WinMain\n")
endif()

string(REPLACE "," ";" allowed "${STILL_TO_COME}")
string(REPLACE "\n" ";" missing "${pending}")
list(REMOVE_ITEM missing ${allowed} "")
if(missing)
  string(REPLACE ";" " " names "${missing}")
  message(FATAL_ERROR "ZA32.DLL: the engine does not define ${names}")
endif()

# Rewrite only what changed, so that an unchanged table does not relink.
foreach(pair "LINK_DEF;link_def" "IMPORT_DEF;import_def" "PENDING;pending")
  list(GET pair 0 path_var)
  list(GET pair 1 content_var)
  set(old "")
  if(EXISTS "${${path_var}}")
    file(READ "${${path_var}}" old)
  endif()
  if(NOT old STREQUAL "${${content_var}}")
    file(WRITE "${${path_var}}" "${${content_var}}")
  endif()
endforeach()
