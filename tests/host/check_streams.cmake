# cmake -DHOST=... -DPLUGIN=... -DPICTURES=... -DBINARY_DIR=... -DWORK=... [-DEMULATOR=...] [-DFILE_SIZE_LIMIT=ON]
#       -P check_streams.cmake
# The real program as a pipeline and an installation use it: --version, a
# picture from standard input to standard output (and nothing on standard
# output when it fails), cmake --install's files; and, where the shell can
# limit the size of files (FILE_SIZE_LIMIT), a disk that fills up halfway:
# the file that does not fit is reported by name with the reason and leaves
# nothing behind, the input is untouched, and the batch goes on.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(failures "")
macro(fail message)
  set(failures "${failures}\n  ${message}")
endmacro()

# Pictures to work on: a contact sheet of the built-in chart, and small ones.
execute_process(COMMAND ${EMULATOR} ${HOST} sheet ${PLUGIN} ${WORK}/sheet.png RESULT_VARIABLE status OUTPUT_QUIET)
execute_process(COMMAND ${EMULATOR} ${PICTURES} ${WORK}/in RESULT_VARIABLE made)
if(NOT status EQUAL 0 OR NOT made EQUAL 0)
  message(FATAL_ERROR "cannot make the pictures")
endif()

execute_process(COMMAND ${EMULATOR} ${HOST} --version ${PLUGIN} OUTPUT_VARIABLE version RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT version MATCHES "^sepia-host [0-9.]+\r?\nplug-in Sepia [0-9.]+ [(]com[.]darkroom[.]sepia[)]")
  fail("--version printed '${version}' (${status})")
endif()

# Standard input to standard output.
execute_process(COMMAND ${EMULATOR} ${HOST} apply ${PLUGIN} -p 3 - - --format jpg INPUT_FILE ${WORK}/sheet.png
                OUTPUT_FILE ${WORK}/piped.jpg ERROR_VARIABLE report RESULT_VARIABLE status)
file(READ ${WORK}/piped.jpg start LIMIT 3 HEX)
if(NOT status EQUAL 0 OR NOT start STREQUAL "ffd8ff" OR NOT report MATCHES "wrote standard output")
  fail("standard input to standard output: ${status}, '${start}', '${report}'")
endif()
file(WRITE ${WORK}/broken.png "not a picture")
execute_process(COMMAND ${EMULATOR} ${HOST} apply ${PLUGIN} -p 3 - - --format png INPUT_FILE ${WORK}/broken.png
                OUTPUT_FILE ${WORK}/nothing.png ERROR_VARIABLE report RESULT_VARIABLE status)
file(SIZE ${WORK}/nothing.png written)
if(NOT status EQUAL 1 OR NOT written EQUAL 0 OR NOT report MATCHES "standard input")
  fail("a broken picture on standard input: ${status}, ${written} bytes out, '${report}'")
endif()

# The installed program, plug-in and manual page.
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${WORK}/prefix OUTPUT_QUIET RESULT_VARIABLE status)
file(GLOB_RECURSE installed RELATIVE ${WORK}/prefix ${WORK}/prefix/*)
list(SORT installed)
if(NOT status EQUAL 0 OR NOT installed MATCHES "bin/sepia-host" OR NOT installed MATCHES "sepia[.](so|dll)"
   OR NOT installed MATCHES "share/man/man1/sepia-host[.]1")
  fail("cmake --install put: ${installed}")
endif()
file(GLOB installed_host ${WORK}/prefix/bin/sepia-host*)
execute_process(COMMAND ${EMULATOR} ${installed_host} --version OUTPUT_VARIABLE version RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT version MATCHES "plug-in Sepia")
  fail("the installed program does not find its plug-in: '${version}'")
endif()

if(FILE_SIZE_LIMIT)
  # A disk that fills up halfway: files may not pass 64 KiB, which the
  # sheet passes and a small picture does not; in TIFF, and in JPEG, whose
  # encoder then fails in the middle of the picture.
  file(SHA256 ${WORK}/sheet.png before)
  foreach(ext tif jpg)
    file(MAKE_DIRECTORY ${WORK}/full-${ext})
    execute_process(COMMAND sh -c "ulimit -f 128 && exec \"$0\" \"$@\"" ${HOST} apply ${PLUGIN} -p 1 -j 1
                            -o ${WORK}/full-${ext} --format ${ext} ${WORK}/sheet.png ${WORK}/in/icc-alpha.png
                    OUTPUT_VARIABLE written ERROR_VARIABLE report RESULT_VARIABLE status)
    file(GLOB left RELATIVE ${WORK}/full-${ext} ${WORK}/full-${ext}/* ${WORK}/full-${ext}/.*)
    if(NOT status EQUAL 1)
      fail("a full disk (${ext}): exit status ${status}")
    endif()
    if(NOT report MATCHES "'${WORK}/sheet.png': cannot write '${WORK}/full-${ext}/sheet.${ext}': .*[(]File too large[)]")
      fail("a full disk (${ext}) is not reported by name and reason: '${report}'")
    endif()
    if(NOT left STREQUAL "icc-alpha.${ext}")
      fail("a full disk (${ext}) leaves more than the file that fitted: '${left}'")
    endif()
  endforeach()
  file(SHA256 ${WORK}/sheet.png after)
  if(NOT before STREQUAL after)
    fail("the input was changed")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "streams and installation:${failures}")
endif()
