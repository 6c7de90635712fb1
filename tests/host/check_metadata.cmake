# cmake -DPICTURES=... -DHOST=... -DPLUGIN=... -DEXIFTOOL=... -DPERL=... -DCOMPARE=... -DWORK=... [-DEMULATOR=...]
#       -P check_metadata.cmake
# Runs the reference host on pictures that carry orientations, ICC profiles,
# EXIF, XMP and IPTC-IIM, and reads its outputs with exiftool, a reader that
# shares no code with the host: pictures come out upright, the EXIF says
# orientation 1 and keeps its tags, the thumbnail is gone, the profile is
# kept, XMP and IPTC-IIM arrive whole in every format (a JPEG's extended XMP
# too), text, comments, resolution and PNG's gamma arrive where each format
# keeps them, profiles of other data than RGB are dropped, a damaged block
# costs only itself, with a warning, and --strip drops everything.
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

# compare(SOURCE OUTPUT...): every metadata value of SOURCE arrives in each
# OUTPUT, as compare_metadata.pl checks it.
function(compare source)
  execute_process(COMMAND ${PERL} ${COMPARE} ${source} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE report
                  ERROR_VARIABLE errors)
  message(STATUS "${report}${errors}")
  if(NOT status EQUAL 0)
    set(failures "${failures}\n  ${source}: not all metadata arrived" PARENT_SCOPE)
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
foreach(name text.png comment.jpg grey-icc.jpg cmyk-icc.jpg)
  get_filename_component(stem ${name} NAME_WLE)
  foreach(ext jpg tif webp png)
    execute_process(COMMAND ${EMULATOR} ${HOST} apply ${PLUGIN} -p 3 ${in}/${name} ${out}/${stem}.${ext}
                    RESULT_VARIABLE status ERROR_VARIABLE warnings_${stem}_${ext} OUTPUT_QUIET)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "failed (${status}): ${name} to ${ext}\n${warnings_${stem}_${ext}}")
    endif()
  endforeach()
endforeach()

execute_process(COMMAND ${EXIFTOOL} -json "-Orientation#" -Make -DateTimeOriginal -ExposureTime -ProfileDescription
                        "-ThumbnailLength#" "-ImageWidth#" "-ImageHeight#" ${out}
                OUTPUT_VARIABLE json RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "exiftool failed: ${errors}")
endif()

execute_process(COMMAND ${EXIFTOOL} -json -G1 -sep ", " -PNG:all -PNG-pHYs:all -XMP-dc:all -XMP-exif:UserComment
                        -File:Comment -JFIF:XResolution -IFD0:XResolution -IFD0:YResolution -ExifIFD:ExifImageWidth
                        -ExifIFD:ExifImageHeight -ICC_Profile:ProfileDescription ${out}
                OUTPUT_VARIABLE grouped RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "exiftool failed: ${errors}")
endif()

# The value exiftool reports for `tag` of `name` (in `json`, or with
# GROUPED in `grouped`), or "(none)".
function(tag_of name tag result)
  set(json "${json}")
  if(ARGC GREATER 3 AND ARGV3 STREQUAL "GROUPED")
    set(json "${grouped}")
  endif()
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
  set(grouping "")
  if(ARGC GREATER 3)
    set(grouping ${ARGV3})
  endif()
  tag_of(${name} ${tag} actual ${grouping})
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
expect(exif6.png Make "Darkroom Test")
expect(exif6.png Orientation 1)
expect(exif8.jpg ImageWidth 30)
expect(exif3.webp ImageWidth 40)
expect(orientation8.webp ImageWidth 30)
expect(orientation8.webp ProfileDescription "Sepia test profile")
expect(orientation8.webp Orientation 1)
# Turned a quarter: the EXIF's pixel size and resolution turn too.
foreach(ext jpg tif webp png)
  expect(exif6.${ext} ExifIFD:ExifImageWidth 30 GROUPED)
  expect(exif6.${ext} ExifIFD:ExifImageHeight 40 GROUPED)
  expect(exif6.${ext} IFD0:XResolution 200 GROUPED)
  expect(exif6.${ext} IFD0:YResolution 300 GROUPED)
endforeach()

# Text, comments, resolution and gamma, where each format keeps them (file,
# tag as exiftool groups it, value): PNG keeps its text; elsewhere Title,
# Author, Copyright and Description go into XMP's Dublin Core and a comment
# into a comment.
set(text_expectations
  "text.png|PNG:Title|Pier at dusk" "text.png|PNG:Parameters|steps: 20, sampler: Euler" "text.png|PNG:Note14|note 14"
  "text.png|PNG:Gamma|1" "text.png|PNG-pHYs:PixelsPerUnitX|11811" "text.png|XMP-dc:Subject|pier, gulls"
  "text.jpg|XMP-dc:Title|Pier at dusk" "text.jpg|XMP-dc:Creator|Grace Hopper"
  "text.jpg|XMP-dc:Rights|(c) 2026 Grace Hopper" "text.jpg|XMP-dc:Description|Boats and gulls"
  "text.jpg|File:Comment|scanned twice" "text.jpg|JFIF:XResolution|300" "text.jpg|XMP-dc:Subject|pier, gulls"
  "text.tif|XMP-dc:Title|Pier at dusk" "text.tif|XMP-exif:UserComment|scanned twice" "text.tif|IFD0:XResolution|300"
  "text.webp|XMP-dc:Creator|Grace Hopper" "text.webp|XMP-exif:UserComment|scanned twice"
  "text.webp|IFD0:XResolution|300"
  "comment.jpg|File:Comment|Shot from the pier" "comment.jpg|JFIF:XResolution|300"
  "comment.png|PNG:Comment|Shot from the pier" "comment.png|PNG-pHYs:PixelsPerUnitX|11811"
  "comment.tif|XMP-exif:UserComment|Shot from the pier" "comment.tif|IFD0:XResolution|300"
  "comment.webp|XMP-exif:UserComment|Shot from the pier" "comment.webp|IFD0:XResolution|300")
foreach(ext jpg tif webp)
  # Gamma 1.0 without a profile: a profile that says so.
  list(APPEND text_expectations "text.${ext}|ICC_Profile:ProfileDescription|RGB from PNG colour chunks: gamma 1.00, sRGB primaries")
  # The other keywords have no place there; the host says so.
  if(NOT warnings_text_${ext} MATCHES "PNG text 'parameters', 'Note 1',.* has no place for them")
    set(failures "${failures}\n  text.${ext}: no warning for the text left out: '${warnings_text_${ext}}'")
  endif()
endforeach()
foreach(ext jpg tif webp png)
  # A grey or CMYK profile would misdescribe the toned RGB picture.
  list(APPEND text_expectations "grey-icc.${ext}|ICC_Profile:ProfileDescription|(none)"
       "cmyk-icc.${ext}|ICC_Profile:ProfileDescription|(none)")
endforeach()
foreach(case IN LISTS text_expectations)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 name)
  list(GET parts 1 tag)
  list(GET parts 2 value)
  expect(${name} ${tag} "${value}" GROUPED)
endforeach()


# Metadata as editors and press tools write it, into every format; the
# extended XMP of a long edit history read back from the JPEG that needs it.
foreach(name descriptive-exif.jpg editor.jpg editor.png editor.webp long-history.png)
  get_filename_component(stem ${name} NAME_WLE)
  set(outputs "")
  foreach(ext jpg tif webp png)
    run(${HOST} apply ${PLUGIN} -p 4 ${in}/${name} ${out}/meta-${stem}.${ext})
    list(APPEND outputs ${out}/meta-${stem}.${ext})
  endforeach()
  compare(${in}/${name} ${outputs})
endforeach()
run(${HOST} apply ${PLUGIN} -p 4 ${out}/meta-long-history.jpg ${out}/from-extended.tif)
compare(${out}/meta-long-history.jpg ${out}/from-extended.tif)
execute_process(COMMAND ${EXIFTOOL} -s3 -HasExtendedXMP ${out}/meta-long-history.jpg OUTPUT_VARIABLE guid)
if(NOT guid MATCHES "^[0-9A-F]+\n$")
  set(failures "${failures}\n  meta-long-history.jpg: no extended XMP ('${guid}')")
endif()

# A damaged block: the picture is written with the other blocks, a warning
# names the file and the block, the exit status is 0.
foreach(case "damaged-exif.jpg:EXIF:XMP-dc:Rights" "damaged-xmp.png:XMP:IFD0:Artist"
             "damaged-iptc.jpg:IPTC-IIM data:IFD0:Artist")
  string(REPLACE ":" ";" parts "${case}")
  list(GET parts 0 name)
  list(GET parts 1 block)
  list(GET parts 2 group)
  list(GET parts 3 tag)
  foreach(ext jpg tif webp png)
    execute_process(COMMAND ${EMULATOR} ${HOST} apply ${PLUGIN} -p 2 ${in}/${name} ${out}/${name}.${ext}
                    RESULT_VARIABLE status ERROR_VARIABLE errors OUTPUT_QUIET)
    if(NOT status EQUAL 0 OR NOT errors MATCHES "warning: '[^']*${name}': its ${block} cannot be read")
      set(failures "${failures}\n  ${name} to ${ext}: exit ${status}, '${errors}'")
    endif()
    execute_process(COMMAND ${EXIFTOOL} -s3 -${group}:${tag} ${out}/${name}.${ext} OUTPUT_VARIABLE kept)
    if(kept STREQUAL "")
      set(failures "${failures}\n  ${name} to ${ext}: ${group}:${tag} did not arrive")
    endif()
  endforeach()
endforeach()
foreach(ext jpg tif webp png)
  run(${HOST} apply ${PLUGIN} -p 1 --strip ${in}/editor.jpg ${out}/stripped-editor.${ext})
  # (A TIFF's own fields count as EXIF to exiftool; its descriptive ones must go.)
  # exiftool must have read the file: it reports its type, and nothing else.
  execute_process(COMMAND ${EXIFTOOL} -s3 -File:FileTypeExtension -IFD0:Make -ExifIFD:all -GPS:all -XMP:all
                          -IPTC:all -ICC_Profile:all ${out}/stripped-editor.${ext}
                  OUTPUT_VARIABLE left RESULT_VARIABLE status ERROR_VARIABLE errors)
  set(read_back "${ext}\n")
  if(NOT status EQUAL 0 OR NOT left STREQUAL read_back)
    set(failures "${failures}\n  stripped-editor.${ext}: exiftool (${status}, ${errors}) reads:\n${left}")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "metadata as exiftool reads it:${failures}")
endif()
message(STATUS "exiftool confirms orientation, ICC profile, EXIF, XMP and IPTC-IIM in every output")
