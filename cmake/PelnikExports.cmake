# Writes the DLL's module-definition file from the public header, so the
# export list has one home: the header's declarations.
#   cmake -DHEADER=... -DOUTPUT=... -DDECORATE=ON|OFF -P PelnikExports.cmake
# DECORATE names each function with its __stdcall argument bytes (x86), which
# the linker and the import-library tools match against the compiled names.
if(NOT HEADER OR NOT OUTPUT)
  message(FATAL_ERROR "PelnikExports.cmake needs HEADER and OUTPUT")
endif()
file(READ ${HEADER} text)
# One declaration: PELNIK_API int PELNIK_CALL Pelnik_Name(parameters);
string(REGEX MATCHALL "PELNIK_API[ \t\r\n]+int[ \t\r\n]+PELNIK_CALL[ \t\r\n]+Pelnik_[A-Za-z0-9_]+\\([^)]*\\)"
       declarations "${text}")
set(lines "LIBRARY PelnikSdk_R5M_LX.dll\nEXPORTS\n")
set(count 0)
foreach(declaration IN LISTS declarations)
  string(REGEX MATCH "(Pelnik_[A-Za-z0-9_]+)\\(([^)]*)\\)" _ "${declaration}")
  set(name ${CMAKE_MATCH_1})
  string(REGEX REPLACE "[ \t\r\n]+" " " parameters "${CMAKE_MATCH_2}")
  string(STRIP "${parameters}" parameters)
  set(bytes 0)
  if(NOT parameters STREQUAL "void")
    string(REPLACE "," ";" parameters "${parameters}")
    foreach(parameter IN LISTS parameters)
      # Every parameter of the interface is one 32-bit stack slot on x86:
      # an int, a pointer or a window handle. Anything else needs thought.
      if(NOT parameter MATCHES "\\*|^ *int [A-Za-z0-9_]+ *$|^ *PelnikWindow [A-Za-z0-9_]+ *$|^ *int *$")
        message(FATAL_ERROR "${name}: parameter '${parameter}' is not a 32-bit slot on x86")
      endif()
      math(EXPR bytes "${bytes} + 4")
    endforeach()
  endif()
  if(DECORATE)
    string(APPEND lines "  ${name}@${bytes}\n")
  else()
    string(APPEND lines "  ${name}\n")
  endif()
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no Pelnik_ declarations found in ${HEADER}")
endif()
# Only a changed list touches the file, so the DLL relinks only then.
file(WRITE ${OUTPUT}.tmp "${lines}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
