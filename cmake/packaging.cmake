# Installation of the manual page and the Debian package built by CPack (`cpack -G DEB`).
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/doc/x17b2pavo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "x17b2pavo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "x17b2pavo team")
set(CPACK_PACKAGE_CONTACT "x17b2pavo team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert X17B energy-dispersive scans into PAVO powder data files")
set(CPACK_PACKAGE_DESCRIPTION
    "x17b2pavo asks for a scan file written by the X17B beamline's data-collection software and\n\
an output name, scales and rounds the scan's channel values and writes them as a PAVO\n\
powder-diffraction data file of fixed 80-column records. Replies can be recorded into\n\
macro files and played back.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "x17b2pavo")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "x17b2pavo team")
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps (Debian package dpkg-dev) works out the shared libraries the binary needs; a
# statically linked binary needs none, and the package then has no Depends line.
find_program(X17B_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(X17B_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  message(STATUS "dpkg-shlibdeps not found: the .deb will declare no dependencies")
endif()

include(CPack)
