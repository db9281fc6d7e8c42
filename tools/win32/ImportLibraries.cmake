# Makes the import libraries the plug-in's DLL links against, from what its objects import:
# every symbol an object needs and no object defines is the host's or the C runtime's, and its
# name is the one the host's declarations mangle to. Which DLL exports it follows from what it is:
#   the allocation functions (operator new/delete and their array forms)  MemoryManager.dll
#   members of StringClass                                                  shaders.dll
#   plain C functions                                                      msvcrt.dll
#   everything else the host declares                                      scripts.dll
#   cmake -DOBJECTS=a.obj|b.obj -DNM=llvm-nm -DDLLTOOL=llvm-dlltool -DOUT=dir -P ImportLibraries.cmake
foreach(variable OBJECTS NM DLLTOOL OUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "ImportLibraries.cmake: ${variable} is not set")
  endif()
endforeach()
string(REPLACE "|" ";" OBJECTS "${OBJECTS}")

function(symbols kind result)
  execute_process(COMMAND ${NM} ${kind} ${OBJECTS} OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "ImportLibraries.cmake: ${NM} failed on the plug-in's objects")
  endif()
  string(REPLACE "\n" ";" lines "${text}")
  set(names "")
  foreach(line IN LISTS lines)
    # "         U name" for undefined symbols, "00000000 T name" for defined ones.
    if(line MATCHES "^[0-9a-fA-F ]+ [A-Za-z] (.+)$")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES names)
  set(${result} "${names}" PARENT_SCOPE)
endfunction()

symbols(--undefined-only needed)
symbols(--defined-only defined)

set(MemoryManager "")
set(shaders "")
set(msvcrt "")
set(scripts "")
foreach(name IN LISTS needed)
  list(FIND defined "${name}" own)
  if(NOT own EQUAL -1)
    continue()
  endif()
  string(REGEX REPLACE "^__imp_" "" name "${name}")
  if(name MATCHES "^\\?\\?(2|3|_U|_V)@")
    list(APPEND MemoryManager "${name}")
  elseif(name MATCHES "@StringClass@@")
    list(APPEND shaders "${name}")
  elseif(name MATCHES "^\\?")
    list(APPEND scripts "${name}")
  elseif(name MATCHES "^_([A-Za-z][A-Za-z0-9_]*)$")
    # A C function: the 32-bit ABI prefixes an underscore, which the .def file leaves out.
    list(APPEND msvcrt "${CMAKE_MATCH_1}")
  else()
    message(FATAL_ERROR "ImportLibraries.cmake: no DLL known to export ${name}")
  endif()
endforeach()

foreach(dll MemoryManager shaders msvcrt scripts)
  list(REMOVE_DUPLICATES ${dll})
  list(SORT ${dll})
  set(def "LIBRARY ${dll}.dll\nEXPORTS\n")
  foreach(name IN LISTS ${dll})
    string(APPEND def "${name}\n")
  endforeach()
  file(WRITE "${OUT}/${dll}.def" "${def}")
  execute_process(COMMAND ${DLLTOOL} -m i386 -d "${OUT}/${dll}.def" -l "${OUT}/${dll}.lib" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "ImportLibraries.cmake: ${DLLTOOL} failed on ${dll}.def")
  endif()
endforeach()
