# Installation of the manual pages and documentation, and the package built by CPack: on Linux
# the Debian package (`cpack -G DEB`), for Windows the zip (`cpack` in the windows build). The
# programs themselves are installed by their own targets in convert/.
include(GNUInstallDirs)

if(WIN32)
  # The zip holds x17b2pavo-VERSION-win64/ with bin/ (both programs), README.md, LICENSE.txt, the
  # manual pages as text and examples/. Text for Windows readers (Notepad among them) has CR LF
  # line ends; the manual pages are rendered in plain ASCII (groff -Tascii) without overstriking
  # or escape sequences, whatever the build machine's locale. The examples are copied byte for
  # byte: scan.pavo is what the programs must write. Rendered at install time
  # (cmake/windows_text.cmake), like the manual pages of the Debian package.
  find_program(X17B_GROFF groff REQUIRED)
  install(CODE "set(x17b_source \"${PROJECT_SOURCE_DIR}\")
                set(x17b_groff \"${X17B_GROFF}\")
                set(x17b_work \"${PROJECT_BINARY_DIR}/windows-text\")
                include(\"${PROJECT_SOURCE_DIR}/cmake/windows_text.cmake\")")
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples)

  set(CPACK_GENERATOR "ZIP")
  set(CPACK_PACKAGE_NAME "x17b2pavo")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_VENDOR "The x17b2pavo developers")
  set(CPACK_SYSTEM_NAME "win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES ON)  # with MinGW-w64's strip, found through the toolchain
  include(CPack)
  return()
endif()

# Manual pages and the Debian changelog are installed compressed with `gzip -9n`: best
# compression, and no file name or time stamp in the header, so the same text gives the same
# bytes. The manual pages name the folder of the examples, which depends on the prefix given at
# install time: they are filled in and compressed by the installation itself.
find_program(X17B_GZIP gzip REQUIRED)
set(X17B_MAN_SCRIPT ${PROJECT_BINARY_DIR}/install_manual_pages.cmake)
file(CONFIGURE OUTPUT ${X17B_MAN_SCRIPT} @ONLY CONTENT [[
set(docdir "${CMAKE_INSTALL_PREFIX}/@CMAKE_INSTALL_DOCDIR@")
set(mandir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/@CMAKE_INSTALL_MANDIR@/man1")
set(work "@PROJECT_BINARY_DIR@/manual-pages")
file(MAKE_DIRECTORY "${work}" "${mandir}")
foreach(page x17b2pavo.1 x17b2pavo-batch.1)
  file(READ "@PROJECT_SOURCE_DIR@/doc/${page}" text)
  string(REPLACE "/usr/share/doc/x17b2pavo" "${docdir}" text "${text}")
  file(WRITE "${work}/${page}" "${text}")
  execute_process(COMMAND "@X17B_GZIP@" -9nf "${work}/${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${page}")
  endif()
  message(STATUS "Installing: ${mandir}/${page}.gz")
  file(COPY "${work}/${page}.gz" DESTINATION "${mandir}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${mandir}/${page}.gz")
endforeach()
]])
install(SCRIPT ${X17B_MAN_SCRIPT})
# CMAKE_INSTALL_DOCDIR is share/doc/x17b2pavo.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The whole folder, read at install time: whatever examples/ holds then is what is shipped.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "x17b2pavo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The x17b2pavo developers")
set(CPACK_PACKAGE_CONTACT
    "x17b2pavo maintainers <maintainers@users.noreply.c-seed-910187d4.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert X17B energy-dispersive scans into PAVO powder data files")
# Lines of at most 80 columns; an empty line separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION
    "x17b2pavo converts one energy-dispersive diffraction scan written by the\n\
data-collection software of the X17B beamline into a powder-diffraction data\n\
file of the PAVO kind: it scales and rounds the scan's channel values and\n\
writes a title record, a bank record and the counts in fixed 80-column\n\
records. It asks for the two file names at the terminal, or takes them from\n\
standard input or the command line; replies can be recorded into macro files\n\
and played back.\n\
\n\
x17b2pavo-batch converts many scans in one run, several at a time, each into\n\
its own powder data file holding the same bytes as x17b2pavo writes. An\n\
output appears complete or not at all, an existing one is replaced or skipped\n\
only when asked, and an interrupted batch can be resumed.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "x17b2pavo")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
# Run by CPack on the package's staging tree, after the installation and before the package is
# made. Installed files are 0644 and programs 0755 whatever the umask, but the directories that
# the installation makes on the way follow the umask (0700 under umask 077, 0775 under 002):
# a package needs them 0755. The programs lose the compiler's .comment notes, as dh_strip does.
set(X17B_STAGING_SCRIPT ${PROJECT_BINARY_DIR}/package_staging.cmake)
file(CONFIGURE OUTPUT ${X17B_STAGING_SCRIPT} @ONLY CONTENT [[
set(staging "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
# What only the Debian package holds: its changelog, compressed, and what lintian is told to
# accept, each with its reason (the static linking, first of all).
set(prefix "${staging}${CPACK_PACKAGING_INSTALL_PREFIX}")
file(COPY "@PROJECT_SOURCE_DIR@/packaging/changelog.Debian"
     DESTINATION "${prefix}/@CMAKE_INSTALL_DOCDIR@")
execute_process(COMMAND "@X17B_GZIP@" -9nf "${prefix}/@CMAKE_INSTALL_DOCDIR@/changelog.Debian"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on changelog.Debian")
endif()
file(MAKE_DIRECTORY "${prefix}/@CMAKE_INSTALL_DATAROOTDIR@/lintian/overrides")
file(COPY_FILE "@PROJECT_SOURCE_DIR@/packaging/lintian-overrides"
     "${prefix}/@CMAKE_INSTALL_DATAROOTDIR@/lintian/overrides/x17b2pavo")
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${staging}/*")
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
    file(CHMOD "${entry}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
file(GLOB programs "${staging}${CPACK_PACKAGING_INSTALL_PREFIX}/@CMAKE_INSTALL_BINDIR@/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "@CMAKE_STRIP@" --remove-section=.comment --remove-section=.note
                          "${program}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip failed on ${program}")
  endif()
endforeach()
]])
set(CPACK_PRE_BUILD_SCRIPTS ${X17B_STAGING_SCRIPT})

set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The Debian revision: the package's version is 1.0.0-1, the version of the newest entry of
# packaging/changelog.Debian (a package with a revision is not "native", and its changelog is
# changelog.Debian.gz). A new upstream version starts again at 1.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps (Debian package dpkg-dev) works out the shared libraries the programs need; a
# statically linked program needs none, and the package then has no Depends line.
find_program(X17B_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(X17B_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  message(STATUS "dpkg-shlibdeps not found: the .deb will declare no dependencies")
endif()

include(CPack)
