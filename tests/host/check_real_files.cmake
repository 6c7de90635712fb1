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
foreach(format IN LISTS formats)
  # One run of the host for all samples, as a user tones a folder.
  execute_process(COMMAND ${EMULATOR} ${HOST} apply ${PLUGIN} -p 1 --output-dir ${WORK}/${format} --format ${format}
                          ${samples}
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
    list(APPEND outputs ${WORK}/${format}/${stem}.${format})
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
