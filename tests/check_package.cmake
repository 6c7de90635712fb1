# cmake -DBINARY_DIR=... -DVERSION=... -DWINE_RUN=... -P check_package.cmake
# Builds the release zip (the package target), unpacks it into a scratch
# folder, checks its files against SHA256SUMS and its bill of materials, and
# runs the unpacked sepia-host.exe under Wine on the unpacked sepia.dll.
cmake_minimum_required(VERSION 3.25)
set(scratch ${BINARY_DIR}/package-test)
set(name sepia-${VERSION}-windows-x64)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch}/unpacked)

execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target package
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR NOT EXISTS ${BINARY_DIR}/${name}.zip)
  message(FATAL_ERROR "the package target did not write ${name}.zip:\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${BINARY_DIR}/${name}.zip WORKING_DIRECTORY ${scratch}/unpacked
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${name}.zip")
endif()

set(folder ${scratch}/unpacked/${name})
file(GLOB files RELATIVE ${folder} ${folder}/*)
list(SORT files)
set(expected LICENSE README.md SHA256SUMS THIRD-PARTY-NOTICES.txt ${name}.cdx.json sepia-host.exe sepia.dll
             sepia.dll.debug)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "${name}.zip holds [${files}], expected [${expected}] in the folder ${name}")
endif()

file(STRINGS ${folder}/SHA256SUMS sums)
set(summed "")
foreach(line IN LISTS sums)
  if(NOT line MATCHES "^([0-9a-f]+)  (.+)$")
    message(FATAL_ERROR "SHA256SUMS has a malformed line: ${line}")
  endif()
  file(SHA256 ${folder}/${CMAKE_MATCH_2} actual)
  if(NOT actual STREQUAL CMAKE_MATCH_1)
    message(FATAL_ERROR "${CMAKE_MATCH_2}: SHA-256 ${actual}, SHA256SUMS says ${CMAKE_MATCH_1}")
  endif()
  list(APPEND summed ${CMAKE_MATCH_2})
endforeach()
list(SORT summed)
if(NOT summed STREQUAL "LICENSE;README.md;THIRD-PARTY-NOTICES.txt;${name}.cdx.json;sepia-host.exe;sepia.dll;sepia.dll.debug")
  message(FATAL_ERROR "SHA256SUMS covers [${summed}]")
endif()

file(READ ${folder}/THIRD-PARTY-NOTICES.txt notices)
# The statement of the host's licence, as a reader sees it.
if(NOT notices MATCHES "sepia-host.exe as a whole is therefore distributed under the GNU General\nPublic License, version 3 or later"
   OR notices MATCHES "\n;")
  message(FATAL_ERROR "THIRD-PARTY-NOTICES.txt does not state the host's licence plainly")
endif()
foreach(library zlib libpng libjpeg-turbo libtiff libwebp expat exiv2 nettle lcms2 libheif libde265 dav1d aom libjxl
                highway brotli)
  if(NOT notices MATCHES "==== ${library} ====")
    message(FATAL_ERROR "THIRD-PARTY-NOTICES.txt lacks the licence of ${library}")
  endif()
endforeach()
# The bill of materials names every library in the notices, with its Debian
# source version, and both programs at this version.
file(READ ${folder}/${name}.cdx.json sbom)
string(JSON format GET "${sbom}" bomFormat)
string(JSON components LENGTH "${sbom}" components)
set(named "")
math(EXPR last "${components} - 1")
foreach(i RANGE ${last})
  string(JSON component_name GET "${sbom}" components ${i} name)
  string(JSON component_version GET "${sbom}" components ${i} version)
  list(APPEND named "${component_name}@${component_version}")
endforeach()
foreach(component sepia.dll@${VERSION} sepia-host.exe@${VERSION} zlib libpng libjpeg-turbo libtiff libwebp expat exiv2
                  nettle "Little CMS" libheif libde265 dav1d libaom libjxl highway brotli mingw-w64-crt winpthreads
                  libgcc libstdc++)
  string(FIND ";${named}" ";${component}" at)
  if(at EQUAL -1 OR NOT format STREQUAL "CycloneDX")
    message(FATAL_ERROR "${name}.cdx.json lacks ${component} (it lists ${named})")
  endif()
endforeach()
file(READ ${folder}/README.md readme)
if(NOT readme MATCHES "${VERSION}" OR NOT readme MATCHES "SHA256SUMS" OR NOT readme MATCHES "VersionInfo")
  message(FATAL_ERROR "the package's README does not say how to check it and read its version")
endif()

execute_process(COMMAND ${WINE_RUN} ${BINARY_DIR}/wineprefix ${folder}/sepia-host.exe info ${folder}/sepia.dll
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT output MATCHES "name +Sepia" OR NOT output MATCHES "Cyanotype 5")
  message(FATAL_ERROR "the unpacked sepia-host.exe could not use the unpacked sepia.dll:\n${output}${errors}")
endif()
execute_process(COMMAND ${WINE_RUN} ${BINARY_DIR}/wineprefix ${folder}/sepia-host.exe sheet ${folder}/sepia.dll
                        ${scratch}/sheet.png
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT EXISTS ${scratch}/sheet.png)
  message(FATAL_ERROR "the unpacked sepia-host.exe could not tone with the unpacked sepia.dll:\n${output}${errors}")
endif()
message(STATUS "${name}.zip: ${files}; checksums match; the unpacked host runs the unpacked plug-in")
