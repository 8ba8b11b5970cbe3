# Every Windows-only fact of the build: the static compiler runtime, the
# system headers' settings, and what makes PelnikSdk_R5M_LX.dll (its exports
# from the public header, both import libraries, the version resource) and
# its checks. Included by the top-level CMakeLists.txt when WIN32.
enable_language(RC)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(PELNIK_WINDOWS_ARCH i686)
  set(PELNIK_DLLTOOL_MACHINE i386)
  set(PELNIK_LINK_MACHINE x86)
else()
  set(PELNIK_WINDOWS_ARCH x86_64)
  set(PELNIK_DLLTOOL_MACHINE i386:x86-64)
  set(PELNIK_LINK_MACHINE x64)
endif()

# <windows.h> without its min/max macros (they break std::min); Windows 7 and
# later.
add_compile_definitions(NOMINMAX _WIN32_WINNT=0x0601)
# The compiler's runtime (libgcc, libstdc++, winpthread) goes into every
# binary: a user's Windows needs nothing beyond its own DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)

# Test programs run under Wine, each as one process in a free lane's prefix
# (make test-windows boots the prefix and copies the lanes).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR sh;${CMAKE_SOURCE_DIR}/scripts/windows/wine-run.sh)
endif()

find_program(PELNIK_MINGW_DLLTOOL ${PELNIK_MINGW_TRIPLET}-dlltool REQUIRED)
find_program(PELNIK_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)

# The DLL is finished once every target exists, wherever this file is
# included from.
function(pelnik_windows_dll)
  set(dll PelnikSdk_R5M_LX)
  set(header ${CMAKE_SOURCE_DIR}/include/PelnikSdk_R5M_LX.h)
  set(def ${CMAKE_BINARY_DIR}/${dll}.def)
  if(PELNIK_WINDOWS_ARCH STREQUAL "i686")
    set(decorate ON)
  else()
    set(decorate OFF)
  endif()
  add_custom_command(OUTPUT ${def}
    COMMAND ${CMAKE_COMMAND} -DHEADER=${header} -DOUTPUT=${def} -DDECORATE=${decorate}
            -P ${CMAKE_SOURCE_DIR}/cmake/PelnikExports.cmake
    DEPENDS ${header} ${CMAKE_SOURCE_DIR}/cmake/PelnikExports.cmake
    COMMENT "Export list of ${dll}.dll from the public header")
  add_custom_target(pelnik_def DEPENDS ${def})

  configure_file(${CMAKE_SOURCE_DIR}/cmake/PelnikVersion.rc.in ${CMAKE_BINARY_DIR}/${dll}.rc @ONLY)
  target_sources(${dll} PRIVATE ${CMAKE_BINARY_DIR}/${dll}.rc)
  add_dependencies(${dll} pelnik_def)
  include(${CMAKE_SOURCE_DIR}/cmake/PelnikDialogTemplates.cmake)
  pelnik_dialog_templates(${dll})

  # The Linux linker's export control has no meaning for a PE file; the
  # .def is the export control here.
  get_target_property(options ${dll} LINK_OPTIONS)
  if(options)
    list(FILTER options EXCLUDE REGEX "version-script|exclude-libs")
    set_property(TARGET ${dll} PROPERTY LINK_OPTIONS ${options})
  endif()
  set_property(TARGET ${dll} PROPERTY LINK_DEPENDS ${def})
  # The DLL is made of the subsystems' objects, not their archives, so the
  # system libraries they need beyond MinGW's defaults are named here.
  target_link_libraries(${dll} PRIVATE winmm)
  # x86: the .def names carry their @N; --kill-at exports them plain.
  target_link_options(${dll} PRIVATE ${def} $<$<BOOL:${decorate}>:-Wl,--kill-at>)
  set_target_properties(${dll} PROPERTIES PREFIX "" IMPORT_PREFIX "lib" IMPORT_SUFFIX ".dll.a"
    PUBLIC_HEADER ${header})

  # Import libraries from the .def: the linker's own loses the decorations a
  # 32-bit caller needs; dlltool -k keeps them and imports the plain names.
  # The MinGW one replaces the linker's, so the installed package points at it.
  set(msvc_implib ${CMAKE_BINARY_DIR}/${dll}.lib)
  add_custom_command(TARGET ${dll} POST_BUILD
    COMMAND ${PELNIK_MINGW_DLLTOOL} -d ${def} -D ${dll}.dll -l $<TARGET_LINKER_FILE:${dll}> -k
    COMMAND ${PELNIK_LLVM_DLLTOOL} -m ${PELNIK_DLLTOOL_MACHINE} -d ${def} -D ${dll}.dll
            -l ${msvc_implib} -k
    BYPRODUCTS ${msvc_implib}
    COMMENT "Import libraries of ${dll}.dll for MinGW and Microsoft's linker")

  # The virtual camera's pipe server uses the platform's overlapped pipe I/O.
  if(TARGET pelnik_virtcam)
    target_link_libraries(pelnik_virtcam PUBLIC pelnik_platform)
  endif()

  # The static libtiff deflates through zlib; its imported target does not say so.
  if(TARGET TIFF::TIFF AND TARGET ZLIB::ZLIB)
    set_property(TARGET TIFF::TIFF APPEND PROPERTY INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
  endif()

  # Linux-only pieces among the portable sources: the message-target
  # companion (Windows has windows) and the .reg file store with its
  # administration (Windows keeps the settings in the registry).
  foreach(pair "api:/exports_messages\\.cpp$" "settings:/(reg_file_store|stored_settings_admin)\\.cpp$")
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 subsystem)
    list(GET pair 1 pattern)
    if(TARGET pelnik_${subsystem}_objects)
      get_target_property(sources pelnik_${subsystem}_objects SOURCES)
      list(FILTER sources EXCLUDE REGEX "${pattern}")
      set_property(TARGET pelnik_${subsystem}_objects PROPERTY SOURCES ${sources})
    endif()
  endforeach()

  install(FILES ${msvc_implib} ${def}
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)

  # The DLL's own checks run in the tree that has tests; the 32-bit tree is
  # checked by `make test-windows` through the same script.
  if(PELNIK_BUILD_TESTS)
    add_test(NAME windows.DllExportsImportsAndCallers
      COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/windows/check-dll.sh
              ${CMAKE_BINARY_DIR} ${PELNIK_WINDOWS_ARCH} ${CMAKE_SOURCE_DIR})
    set_tests_properties(windows.DllExportsImportsAndCallers PROPERTIES LABELS "portable;windows")
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL pelnik_windows_dll)


# The preview window draws with GDI: its archive and the DLL made of its
# objects link the system's GDI library.
function(pelnik_windows_gdi)
  target_link_libraries(pelnik_preview PUBLIC gdi32)
  target_link_libraries(PelnikSdk_R5M_LX PRIVATE gdi32)
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL pelnik_windows_gdi)
