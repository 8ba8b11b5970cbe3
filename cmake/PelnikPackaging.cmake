# Man pages, Debian packages (cpack -G DEB) and the tests of the installed
# tree. Each install component is one package; dpkg-shlibdeps finds the
# dependencies on other packages. Packages for /usr come from a tree
# configured with -DCMAKE_INSTALL_PREFIX=/usr (`make package`).

include(GNUInstallDirs)

set(PELNIK_MAN_PAGES man/pelnik-capture.1 man/pelnik-virtcam.1)
# The viewer's page goes with the viewer.
if(TARGET pelnik-viewer)
  list(APPEND PELNIK_MAN_PAGES man/pelnik-viewer.1)
endif()
install(FILES ${PELNIK_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)

set(CPACK_PACKAGE_NAME pelniksdk)
set(CPACK_PACKAGE_VENDOR "PelnikR5M-LX SDK")
set(CPACK_PACKAGE_CONTACT "PelnikR5M-LX SDK maintainers <pelniksdk@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PelnikR5M-LX USB camera SDK")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools python gstreamer)
# No GStreamer element built (the arm64 tree): no empty package for it.
if(NOT TARGET gstpelnik)
  list(REMOVE_ITEM CPACK_COMPONENTS_ALL gstreamer)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack asks dpkg for the architecture, which names the build machine's; a
# cross toolchain names the target's (dpkg-shlibdeps then reads the target's
# libraries: the Makefile runs cpack with DEB_HOST_ARCH set to it).
if(PELNIK_DEBIAN_ARCHITECTURE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${PELNIK_DEBIAN_ARCHITECTURE})
endif()
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# dpkg-shlibdeps meets the SDK library itself in the build tree; the
# component dependencies below name the package that has it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
# A shlibs file and the ldconfig trigger for the runtime package.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libpelniksdk${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# dpkg runs ldconfig after installing or removing the library.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/debian/triggers)
# dpkg-shlibdeps asks only for the Xlib symbols used; the threads need 1.8.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libx11-6 (>= 2:1.8)")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "PelnikR5M-LX camera SDK: the shared library")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libpelniksdk-dev)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_DEV_DESCRIPTION "PelnikR5M-LX camera SDK: headers, CMake package, pkg-config file")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME pelniksdk-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION video)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "PelnikR5M-LX camera SDK: capture tool, viewer and virtual camera")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-pelnik)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, python3-numpy")
set(CPACK_COMPONENT_PYTHON_DEPENDS runtime)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "PelnikR5M-LX camera SDK: the pelnik Python package")

set(CPACK_DEBIAN_GSTREAMER_PACKAGE_NAME gstreamer1.0-pelnik)
set(CPACK_DEBIAN_GSTREAMER_PACKAGE_SECTION video)
set(CPACK_COMPONENT_GSTREAMER_DEPENDS runtime)
set(CPACK_COMPONENT_GSTREAMER_DESCRIPTION "PelnikR5M-LX camera SDK: the pelniksrc GStreamer element")

include(CPack)

# Programs built outside this tree cannot load a sanitized library. A cross
# build checks its installed tree with its own script (scripts/windows/).
if(PELNIK_BUILD_TESTS AND PELNIK_SANITIZE STREQUAL "" AND NOT CMAKE_CROSSCOMPILING)
  # The examples against an installed copy of this build.
  add_test(NAME install.ExamplesBuildAgainstInstalledTree
    COMMAND sh ${CMAKE_SOURCE_DIR}/examples/test_installed_tree.sh ${CMAKE_BINARY_DIR}
            ${CMAKE_SOURCE_DIR})
  add_test(NAME install.DebianPackages
    COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/test_debian_packages.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(install.ExamplesBuildAgainstInstalledTree install.DebianPackages
    PROPERTIES TIMEOUT 300)
endif()
