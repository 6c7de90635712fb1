# cmake -DPICTURES=... -DHOST=... -DPLUGIN=... -DEXIFTOOL=... -DWORK=... [-DEMULATOR=...] -P check_metadata.cmake
# Runs the reference host on pictures that carry orientations, ICC profiles
# and EXIF, and reads its outputs with exiftool, a reader that shares no code
# with the host: pictures come out upright, the EXIF says orientation 1 and
# keeps its tags (in JPEG, TIFF and WebP), the thumbnail is gone, the profile
# is kept in every format, and --strip drops both.
cmake_minimum_required(VERSION 3.25)
set(in ${WORK}/in)
set(out ${WORK}/out)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${out})

function(run)
  execute_process(COMMAND ${EMULATOR} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${output}${errors}")
  endif()
endfunction()

run(${PICTURES} ${in})
foreach(ext jpg tif webp png)
  run(${HOST} apply ${PLUGIN} -p 1 ${in}/exif6-icc.jpg ${out}/exif6.${ext})
  run(${HOST} apply ${PLUGIN} -p 1 --strip ${in}/exif6-icc.jpg ${out}/stripped.${ext})
endforeach()
# EXIF read back from each format the host wrote it in, then written again.
run(${HOST} apply ${PLUGIN} -p 2 ${out}/exif6.tif ${out}/from-tiff.jpg)
run(${HOST} apply ${PLUGIN} -p 2 ${out}/exif6.webp ${out}/from-webp.tif)
run(${HOST} apply ${PLUGIN} -p 2 ${in}/exif8.webp ${out}/exif8.jpg)
run(${HOST} apply ${PLUGIN} -p 2 ${in}/exif3.png ${out}/exif3.webp)
run(${HOST} apply ${PLUGIN} -p 2 ${in}/orientation8-icc.tif ${out}/orientation8.webp)

execute_process(COMMAND ${EXIFTOOL} -json "-Orientation#" -Make -DateTimeOriginal -ExposureTime -ProfileDescription
                        "-ThumbnailLength#" "-ImageWidth#" "-ImageHeight#" ${out}
                OUTPUT_VARIABLE json RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "exiftool failed: ${errors}")
endif()

# The value exiftool reports for `tag` of `name`, or "(none)".
function(tag_of name tag result)
  string(JSON count LENGTH "${json}")
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON source GET "${json}" ${i} SourceFile)
    get_filename_component(source ${source} NAME)
    if(source STREQUAL name)
      string(JSON value ERROR_VARIABLE missing GET "${json}" ${i} ${tag})
      if(missing)
        set(value "(none)")
      endif()
      set(${result} "${value}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "exiftool did not report on ${name}")
endfunction()

set(failures "")
function(expect name tag expected)
  tag_of(${name} ${tag} actual)
  if(NOT actual STREQUAL expected)
    set(failures "${failures}\n  ${name}: ${tag} is '${actual}', expected '${expected}'" PARENT_SCOPE)
  endif()
endfunction()

# Stored 40 x 30 and turned a quarter: 30 x 40 upright.
foreach(ext jpg tif webp png)
  expect(exif6.${ext} ImageWidth 30)
  expect(exif6.${ext} ImageHeight 40)
  expect(exif6.${ext} ProfileDescription "Sepia test profile")
  expect(stripped.${ext} ProfileDescription "(none)")
  expect(stripped.${ext} Make "(none)")
endforeach()
foreach(name exif6.jpg exif6.tif exif6.webp from-tiff.jpg from-webp.tif exif8.jpg exif3.webp)
  expect(${name} Orientation 1)
  expect(${name} Make "Darkroom Test")
  expect(${name} DateTimeOriginal "2026:12:08 10:00:00")
  expect(${name} ExposureTime 1/250)
  expect(${name} ThumbnailLength "(none)")
endforeach()
expect(exif6.png Make "(none)")
expect(exif6.png Orientation "(none)")
expect(exif8.jpg ImageWidth 30)
expect(exif3.webp ImageWidth 40)
expect(orientation8.webp ImageWidth 30)
expect(orientation8.webp ProfileDescription "Sepia test profile")
expect(orientation8.webp Orientation "(none)")

if(failures)
  message(FATAL_ERROR "metadata as exiftool reads it:${failures}")
endif()
message(STATUS "exiftool confirms orientation, ICC profile and EXIF in every output")
