# Installation of the manual pages and documentation, and the Debian package built by CPack
# (`cpack -G DEB`). The programs themselves are installed by their own targets in convert/.
include(GNUInstallDirs)

# Manual pages and the Debian changelog are installed compressed with `gzip -9n`: best
# compression, and no file name or time stamp in the header, so the same text gives the same
# bytes. They are compressed at build time from a fresh copy, so every build picks up an edit.
find_program(X17B_GZIP gzip REQUIRED)
set(X17B_GZIP_DIR ${PROJECT_BINARY_DIR}/gzipped)
set(X17B_GZIPPED)
function(x17b_gzip source name)
  set(output ${X17B_GZIP_DIR}/${name}.gz)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${X17B_GZIP_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${X17B_GZIP_DIR}/${name}
    COMMAND ${X17B_GZIP} -9nf ${X17B_GZIP_DIR}/${name}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  set(X17B_GZIPPED ${X17B_GZIPPED} ${output} PARENT_SCOPE)
endfunction()
x17b_gzip(${PROJECT_SOURCE_DIR}/doc/x17b2pavo.1 x17b2pavo.1)
x17b_gzip(${PROJECT_SOURCE_DIR}/doc/x17b2pavo-batch.1 x17b2pavo-batch.1)
x17b_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian changelog.Debian)
add_custom_target(x17b2pavo-gzipped-docs ALL DEPENDS ${X17B_GZIPPED})

install(FILES ${X17B_GZIP_DIR}/x17b2pavo.1.gz ${X17B_GZIP_DIR}/x17b2pavo-batch.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# CMAKE_INSTALL_DOCDIR is share/doc/x17b2pavo.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${X17B_GZIP_DIR}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The whole folder, read at install time: whatever examples/ holds then is what is shipped.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# What lintian is told to accept, each with its reason (the static linking, first of all).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME x17b2pavo)

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
