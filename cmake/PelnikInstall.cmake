include(CMakePackageConfigHelpers)

# Components are the Debian packages (cmake/PelnikPackaging.cmake).
install(TARGETS PelnikSdk_R5M_LX EXPORT PelnikSdkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT PelnikSdkTargets NAMESPACE PelnikSdk::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/PelnikSdk COMPONENT dev)

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/PelnikSdkConfig.cmake.in
  ${CMAKE_BINARY_DIR}/PelnikSdkConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/PelnikSdk)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/PelnikSdkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/PelnikSdkConfig.cmake
              ${CMAKE_BINARY_DIR}/PelnikSdkConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/PelnikSdk COMPONENT dev)

# The way up from the installed .pc file to the prefix.
file(RELATIVE_PATH PELNIK_PC_UP "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" PELNIK_PC_UP "${PELNIK_PC_UP}")
# Outside /usr a program linked by the pkg-config line finds the library
# where it was linked from; the system's prefix needs no run path.
set(PELNIK_PC_RPATH "")
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(PELNIK_PC_RPATH " -Wl,-rpath,\${libdir}")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/pelniksdk.pc.in
  ${CMAKE_BINARY_DIR}/pelniksdk.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/pelniksdk.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Installed tools and the GStreamer plugin find the library of their own
# prefix through a relative run path; under /usr the loader's own path does
# that, and the Debian packages carry no run path.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  file(RELATIVE_PATH PELNIK_LIB_FROM_BIN "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_LIBDIR}")
  foreach(program pelnik-capture pelnik-viewer pelnik-virtcam)
    if(TARGET ${program})
      set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${PELNIK_LIB_FROM_BIN}")
    endif()
  endforeach()
  if(TARGET gstpelnik)
    file(RELATIVE_PATH PELNIK_LIB_FROM_PLUGIN "/${PELNIK_GST_PLUGIN_DIR}" "/${CMAKE_INSTALL_LIBDIR}")
    set_target_properties(gstpelnik PROPERTIES INSTALL_RPATH "$ORIGIN/${PELNIK_LIB_FROM_PLUGIN}")
  endif()

  # One file to source after an install outside /usr: it names the prefix's
  # directories to the shell, the compilers' helpers, man, Python and GStreamer.
  # Written at install time, so it holds the prefix actually installed to.
  install(CODE "
  # A package for /usr needs no file to source.
  if(NOT CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
  set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
  set(libdir \"\${prefix}/${CMAKE_INSTALL_LIBDIR}\")
  file(WRITE \"\$ENV{DESTDIR}\${prefix}/${CMAKE_INSTALL_DATADIR}/pelnik/env.sh\"
\"# Source this file (. \${prefix}/${CMAKE_INSTALL_DATADIR}/pelnik/env.sh) to use the SDK installed in \${prefix}.
PATH=\\\"\${prefix}/${CMAKE_INSTALL_BINDIR}:\\\$PATH\\\"
PKG_CONFIG_PATH=\\\"\${libdir}/pkgconfig\\\${PKG_CONFIG_PATH:+:\\\$PKG_CONFIG_PATH}\\\"
CMAKE_PREFIX_PATH=\\\"\${prefix}\\\${CMAKE_PREFIX_PATH:+:\\\$CMAKE_PREFIX_PATH}\\\"
MANPATH=\\\"\${prefix}/${CMAKE_INSTALL_MANDIR}:\\\${MANPATH:-}\\\"
PYTHONPATH=\\\"\${prefix}/${PELNIK_PYTHON_DIR}\\\${PYTHONPATH:+:\\\$PYTHONPATH}\\\"
GST_PLUGIN_PATH=\\\"\${prefix}/${PELNIK_GST_PLUGIN_DIR}\\\${GST_PLUGIN_PATH:+:\\\$GST_PLUGIN_PATH}\\\"
export PATH PKG_CONFIG_PATH CMAKE_PREFIX_PATH MANPATH PYTHONPATH GST_PLUGIN_PATH
\")
  endif()" COMPONENT dev)
endif()

# The error codes in words and the sensor's nominal timing, header-only
# beside the public header.
install(FILES ${CMAKE_SOURCE_DIR}/include/PelnikErrors.h ${CMAKE_SOURCE_DIR}/include/PelnikTiming.h ${CMAKE_SOURCE_DIR}/include/PelnikModes.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
