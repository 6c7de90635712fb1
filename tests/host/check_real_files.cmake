# cmake -DSAMPLES=... -DHOST=... -DPLUGIN=... -DPERL=... -DCOMPARE=... -DWORK=... [-DEMULATOR=...]
#       -P check_real_files.cmake
# Tones photographs from the wild (scripts/fetch-samples.sh): camera JPEGs
# and TIFFs, phone and camera HEIF, AVIF and JPEG XL, into JPEG, PNG, TIFF,
# WebP, AVIF and JPEG XL with the reference host, and has compare_metadata.pl check,
# through ExifTool, that every EXIF, maker-note, GPS, XMP, IPTC-IIM and ICC
# value of each arrives in each output.
cmake_minimum_required(VERSION 3.25)
file(GLOB samples ${SAMPLES}/*)
if(NOT samples)
  message(FATAL_ERROR "no photographs in ${SAMPLES}: run scripts/fetch-samples.sh")
endif()
file(REMOVE_RECURSE ${WORK})

set(formats jpg png tif webp avif jxl)
if(EMULATOR)
  # Under Wine, the four formats that streams and exiv2 write differently:
  # AVIF and JPEG XL metadata go through the same code in both builds, and
  # the Windows build writes them in host_modern_formats_test.
  set(formats jpg png tif webp)
endif()
# AVIF and JPEG XL take seconds a megapixel to encode: the samples of at
# most two megapixels go into them (the metadata samples, all of them), as
# ExifTool reads their size.
set(small_samples "")
foreach(sample IN LISTS samples)
  execute_process(COMMAND ${PERL} -MImage::ExifTool -e
                          "my \$i = Image::ExifTool::ImageInfo(\$ARGV[0], 'ImageWidth', 'ImageHeight'); print((\$i->{ImageWidth} || 0) * (\$i->{ImageHeight} || 0))"
                          ${sample}
                  OUTPUT_VARIABLE pixels)
  if(pixels LESS_EQUAL 2100000)
    list(APPEND small_samples ${sample})
  endif()
endforeach()
foreach(format IN LISTS formats)
  set(these ${samples})
  if(format MATCHES "avif|jxl")
    set(these ${small_samples})
  endif()
  # One run of the host for all samples, as a user tones a folder.
  execute_process(COMMAND ${EMULATOR} ${HOST} apply ${PLUGIN} -p 1 --output-dir ${WORK}/${format} --format ${format}
                          ${these}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "sepia-host failed on the samples (${format}):\n${output}${errors}")
  endif()
  if(errors MATCHES "warning")
    message(FATAL_ERROR "sepia-host left metadata out (${format}):\n${errors}")
  endif()
endforeach()

set(failed "")
foreach(sample IN LISTS samples)
  get_filename_component(stem ${sample} NAME_WLE)
  set(outputs "")
  foreach(format IN LISTS formats)
    if(EXISTS ${WORK}/${format}/${stem}.${format})
      list(APPEND outputs ${WORK}/${format}/${stem}.${format})
    endif()
  endforeach()
  execute_process(COMMAND ${PERL} ${COMPARE} ${sample} ${outputs} RESULT_VARIABLE status OUTPUT_VARIABLE report
                  ERROR_VARIABLE errors)
  string(REPLACE "${SAMPLES}/" "" report "${report}")
  string(REPLACE "${WORK}/" "" report "${report}")
  message(STATUS "${report}${errors}")
  if(NOT status EQUAL 0)
    list(APPEND failed ${stem})
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "metadata did not arrive whole from: ${failed}")
endif()
