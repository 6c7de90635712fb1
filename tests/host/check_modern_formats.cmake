# cmake -DHOST=... -DPLUGIN=... -DPICTURES=... -DSAMPLES=... -DPERL=... -DCOMPARE=... -DWORK=... [-DEMULATOR=...]
#       -P check_modern_formats.cmake
# HEIF, AVIF and JPEG XL as phones, cameras and their libraries' own tools
# make them: pictures crafted with heif-enc, avifenc and cjxl (8, 10, 12 and 16 bit,
# alpha, EXIF with GPS, a JPEG recompressed into JPEG XL) and the samples
# from the wild. The host's picture of each must be what libheif's
# heif-convert and libjxl's djxl decode, toned (vips compares, a third
# reader); its lossless AVIF and JPEG XL must decode back to the same; and
# ExifTool must find the EXIF and XMP of the crafted ones in every output.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/made ${WORK}/out ${WORK}/reference)
set(failures "")
macro(fail message)
  set(failures "${failures}\n  ${message}")
endmacro()

function(tool)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${output}${errors}")
  endif()
endfunction()
function(host)
  tool(${EMULATOR} ${HOST} ${ARGN})
endfunction()

# The largest difference of two pictures' samples, as vips reads them.
function(largest_difference a b result)
  execute_process(COMMAND vips subtract ${a} ${b} ${WORK}/difference.v RESULT_VARIABLE s1)
  execute_process(COMMAND vips abs ${WORK}/difference.v ${WORK}/absolute.v RESULT_VARIABLE s2)
  execute_process(COMMAND vips max ${WORK}/absolute.v OUTPUT_VARIABLE largest RESULT_VARIABLE s3
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT s1 EQUAL 0 OR NOT s2 EQUAL 0 OR NOT s3 EQUAL 0)
    set(largest "(vips cannot compare them)")
  endif()
  set(${result} "${largest}" PARENT_SCOPE)
endfunction()

# Crafted pictures, from the test pictures, through the libraries' tools.
tool(${EMULATOR} ${PICTURES} ${WORK}/in)
set(in ${WORK}/in)
set(made ${WORK}/made)
# A picture of 16-bit samples, as vips widens one.
tool(vips linear ${in}/text.png ${WORK}/wide.v 257 0)
tool(vips cast ${WORK}/wide.v ${WORK}/wide16.v ushort)
tool(vips pngsave ${WORK}/wide16.v ${WORK}/deep.png --bitdepth 16)
tool(heif-enc -q 90 -o ${made}/heic-exif-gps.heic ${SAMPLES}/gps-furnace-creek.jpg)
tool(heif-enc -q 90 -o ${made}/heic-alpha.heic ${in}/palette-alpha.png)
tool(heif-enc -q 90 -b 10 -o ${made}/heic-10-bit.heic ${WORK}/deep.png)
tool(avifenc ${SAMPLES}/gps-furnace-creek.jpg ${made}/avif-exif-gps.avif)
tool(avifenc ${in}/palette-alpha.png ${made}/avif-alpha.avif)
tool(avifenc -d 10 ${WORK}/deep.png ${made}/avif-10-bit.avif)
tool(avifenc -d 12 ${in}/grey-alpha-16bit.png ${made}/avif-12-bit-alpha.avif)
tool(cjxl ${SAMPLES}/gps-furnace-creek.jpg ${made}/jxl-recompressed-jpeg.jxl)
tool(cjxl -d 0 ${in}/palette-alpha.png ${made}/jxl-alpha.jxl)
tool(cjxl -d 0 ${WORK}/deep.png ${made}/jxl-16-bit.jxl)
tool(cjxl -d 1 ${in}/text.png ${made}/jxl-lossy.jxl)

file(GLOB crafted ${made}/*)
file(GLOB wild ${SAMPLES}/*.heic ${SAMPLES}/*.hif ${SAMPLES}/*.avif ${SAMPLES}/*.jxl)
# The references: each library's own tool, decoding to PNG (16 bits a
# sample for deeper pictures), upright; without the metadata it copies,
# whose orientation tells of the picture as stored.
set(pictures ${crafted} ${wild})
set(references "")
foreach(picture IN LISTS pictures)
  get_filename_component(name ${picture} NAME)
  string(REGEX REPLACE "[.]" "-" stem ${name})
  if(name MATCHES "[.]jxl$")
    tool(djxl ${picture} ${WORK}/decoded.png)
  else()
    tool(heif-convert ${picture} ${WORK}/decoded.png)
  endif()
  tool(vips copy ${WORK}/decoded.png ${WORK}/reference/${stem}.png[strip])
  list(APPEND references ${WORK}/reference/${stem}.png)
endforeach()
# The host's pictures, and the references toned: two runs, as a user tones
# a folder.
host(apply ${PLUGIN} -p 3 -o ${WORK}/ours --format png ${pictures})
host(apply ${PLUGIN} -p 3 -o ${WORK}/expected --format png ${references})
foreach(picture IN LISTS pictures)
  get_filename_component(name ${picture} NAME)
  get_filename_component(plain ${picture} NAME_WLE)
  string(REGEX REPLACE "[.]" "-" stem ${name})
  largest_difference(${WORK}/ours/${plain}.png ${WORK}/expected/${stem}.png difference)
  # Deeper samples go from 10 or 12 bits to 8 once in the host, and through
  # 16 bits in the reference; libjxl's lossy decoding computes in floating
  # point, whose last bit differs between the instruction sets it picks.
  set(allowed 0)
  if(name MATCHES "-bit|jxl-lossy|jxl-recompressed|reagan-jxl")
    set(allowed 1)
  endif()
  if(NOT difference MATCHES "^[0-9.]+$" OR difference GREATER allowed)
    fail("${name}: the host's picture differs from the reference decode by ${difference}")
  endif()
endforeach()

# Lossless AVIF and JPEG XL out, decoded back by the libraries' tools.
foreach(ext avif jxl)
  host(apply ${PLUGIN} -p 5 --lossless ${in}/icc-alpha.png ${WORK}/out/lossless.${ext})
  if(ext STREQUAL "jxl")
    tool(djxl ${WORK}/out/lossless.${ext} ${WORK}/out/lossless-${ext}-decoded.png)
  else()
    tool(heif-convert ${WORK}/out/lossless.${ext} ${WORK}/out/lossless-${ext}-decoded.png)
  endif()
  host(apply ${PLUGIN} -p 5 ${in}/icc-alpha.png ${WORK}/out/lossless-expected.png)
  largest_difference(${WORK}/out/lossless-${ext}-decoded.png ${WORK}/out/lossless-expected.png difference)
  if(NOT difference STREQUAL "0.000000")
    fail("lossless ${ext}: decoded back, it differs by ${difference}")
  endif()
endforeach()

# EXIF (GPS too) and XMP of HEIF, AVIF and JPEG XL into every format; a
# JPEG recompressed into JPEG XL keeps them in boxes ExifTool does not
# unpack (Brotli), and its IPTC-IIM in its reconstruction data, so those of
# the JPEG it came from count.
set(sources ${made}/heic-exif-gps.heic ${made}/avif-exif-gps.avif ${made}/jxl-recompressed-jpeg.jxl)
foreach(ext jpg png tif webp avif jxl)
  host(apply ${PLUGIN} -p 2 -o ${WORK}/meta-${ext} --format ${ext} ${sources})
endforeach()
foreach(source IN LISTS sources)
  get_filename_component(plain ${source} NAME_WLE)
  set(reference ${source})
  if(source MATCHES "jxl$")
    set(reference ${SAMPLES}/gps-furnace-creek.jpg)
  endif()
  set(outputs "")
  foreach(ext jpg png tif webp avif jxl)
    list(APPEND outputs ${WORK}/meta-${ext}/${plain}.${ext})
  endforeach()
  execute_process(COMMAND ${PERL} ${COMPARE} ${reference} ${outputs} RESULT_VARIABLE status
                  OUTPUT_VARIABLE report ERROR_VARIABLE errors)
  message(STATUS "${report}${errors}")
  if(NOT status EQUAL 0)
    fail("${source}: not all metadata arrived")
  endif()
endforeach()

# No HEIF out: a usage error that says why.
execute_process(COMMAND ${EMULATOR} ${HOST} apply ${PLUGIN} -p 1 ${made}/heic-alpha.heic ${WORK}/out/back.heic
                RESULT_VARIABLE status ERROR_VARIABLE errors OUTPUT_QUIET)
if(NOT status EQUAL 2 OR NOT errors MATCHES "HEIF is read, not written")
  fail("writing HEIF: ${status}, '${errors}'")
endif()

if(failures)
  message(FATAL_ERROR "HEIF, AVIF and JPEG XL:${failures}")
endif()
message(STATUS "HEIF, AVIF and JPEG XL decode as their libraries' tools decode them")
