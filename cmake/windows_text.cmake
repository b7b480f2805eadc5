# Run at install time for the Windows zip (see packaging.cmake), with x17b_source, x17b_groff and
# x17b_work set: the manual pages rendered as plain ASCII text, README and LICENSE, all with the
# CR LF line ends that Windows readers (Notepad among them) expect.
set(destination "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(MAKE_DIRECTORY "${x17b_work}" "${destination}")

function(x17b_write_with_crlf text name)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${destination}/${name}" "${text}")
  message(STATUS "Installing: ${destination}/${name}")
endfunction()

foreach(page x17b2pavo x17b2pavo-batch)
  # The examples lie beside the programs' folder, not in Debian's documentation folder ("\e" is
  # troff's backslash).
  file(READ "${x17b_source}/doc/${page}.1" source)
  string(REPLACE "/usr/share/doc/x17b2pavo/examples/" "examples\\e" source "${source}")
  file(WRITE "${x17b_work}/${page}.1" "${source}")
  # ASCII, without overstriking or escape sequences, whatever the build machine's locale.
  execute_process(COMMAND "${x17b_groff}" -man -Tascii -P-cbou "${x17b_work}/${page}.1"
                  OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "groff failed on ${page}.1")
  endif()
  x17b_write_with_crlf("${text}" "${page}.txt")
endforeach()
file(READ "${x17b_source}/README.md" text)
x17b_write_with_crlf("${text}" "README.md")
file(READ "${x17b_source}/LICENSE" text)
x17b_write_with_crlf("${text}" "LICENSE.txt")
