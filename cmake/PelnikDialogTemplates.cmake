# The settings dialogs' resource templates, written by a host program from
# the forms the dialog models build (so the templates and the models share
# one table of ids and texts) and compiled into the DLL by windres.
# Called from pelnik_windows_dll().
function(pelnik_dialog_templates dll)
  find_program(PELNIK_HOST_CXX NAMES g++ c++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  set(src ${CMAKE_SOURCE_DIR}/src)
  file(GLOB model_sources CONFIGURE_DEPENDS ${src}/dialogs/*.cpp)
  file(GLOB model_headers CONFIGURE_DEPENDS ${src}/dialogs/*.h)
  # The models with what they stand on, built for the build machine (its
  # inbox is the POSIX one: the writer never posts to it), unoptimised: it
  # runs once and briefly.
  set(sources
    ${src}/dialogs/win32/write_dialog_templates.cpp
    ${src}/ui/win32/templates/dialog_rc_writer.cpp
    ${model_sources}
    ${src}/ui/dialog_form.cpp
    ${src}/ui/x11/dialog_inbox.cpp
    ${src}/settings/setting_groups.cpp
    ${src}/imaging/filter_slots.cpp)
  set(headers
    ${model_headers}
    ${src}/dialogs/win32/layout_hosts.h
    ${src}/ui/dialog_form.h
    ${src}/ui/dialog_inbox.h
    ${src}/ui/win32/dialog_templates.h
    ${src}/ui/win32/templates/dialog_rc_writer.h
    ${src}/settings/setting_groups.h
    ${src}/imaging/filter_slots.h)
  set(writer ${CMAKE_BINARY_DIR}/host/write-dialog-templates)
  set(script ${CMAKE_BINARY_DIR}/PelnikDialogs.rc)
  add_custom_command(OUTPUT ${writer}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${PELNIK_HOST_CXX} -std=c++20 -O0 -I${src} -I${CMAKE_SOURCE_DIR}/include
            ${sources} -o ${writer} -pthread
    DEPENDS ${sources} ${headers}
    COMMENT "Host program writing the dialog templates")
  add_custom_command(OUTPUT ${script}
    COMMAND ${writer} ${script}
    DEPENDS ${writer}
    COMMENT "Dialog templates from the dialog forms")
  add_custom_target(pelnik_dialog_templates DEPENDS ${script})
  target_sources(${dll} PRIVATE ${script})
  add_dependencies(${dll} pelnik_dialog_templates)
  # The view initialises the tab, trackbar and up-down controls.
  target_link_libraries(${dll} PRIVATE comctl32)
  if(TARGET pelnik_ui)
    target_link_libraries(pelnik_ui PUBLIC comctl32)
  endif()
endfunction()
