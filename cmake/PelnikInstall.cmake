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
configure_file(${CMAKE_SOURCE_DIR}/cmake/pelniksdk.pc.in
  ${CMAKE_BINARY_DIR}/pelniksdk.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/pelniksdk.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
