# write_sbom(PATH VERSION EPOCH VERSIONS_FILE COMPANY): a CycloneDX 1.5 bill of
# materials for the release: sepia.dll and sepia-host.exe, and every library
# linked into each with its upstream version, the exact Debian source package
# (or upstream commit) it was built from, the patches applied on top and its
# licence (SPDX). The libraries come from the version records
# scripts/build-codecs.sh writes (VERSIONS_FILE) and, for the compiler's
# runtime, from this machine's Debian packages. Where the Windows build could
# not use the Debian revision that carries the latest security fixes, the
# component says so. Its vulnerabilities section, a VEX, says for every CVE
# and advisory of the libraries' Debian changelogs whether the release is
# fixed, not affected, or not yet (VULNERABILITIES beside VERSIONS_FILE).

# Licences (SPDX expressions) and upstream names of the Debian source
# packages the host links.
set(sbom_libraries
  "zlib|zlib|Zlib"
  "libpng1.6|libpng|libpng-2.0"
  "libjpeg-turbo|libjpeg-turbo|IJG AND BSD-3-Clause AND Zlib"
  "tiff|libtiff|libtiff"
  "libwebp|libwebp|BSD-3-Clause"
  "expat|expat|MIT"
  "exiv2|exiv2|GPL-2.0-or-later"
  "nettle|nettle|LGPL-3.0-or-later OR GPL-2.0-or-later"
  "lcms2|Little CMS|MIT"
  "libheif|libheif|LGPL-3.0-or-later"
  "libde265|libde265|LGPL-3.0-or-later"
  "dav1d|dav1d|BSD-2-Clause"
  "aom|libaom|BSD-2-Clause"
  "jpeg-xl|libjxl|BSD-3-Clause"
  "highway|highway|Apache-2.0"
  "brotli|brotli|MIT")

function(sbom_quote text result)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${result} "\"${text}\"" PARENT_SCOPE)
endfunction()

# The upstream version in a Debian version: no epoch, revision or repack tag.
function(sbom_upstream debian result)
  string(REGEX REPLACE "^[0-9]+:" "" version "${debian}")
  string(REGEX REPLACE "-[^-]*$" "" version "${version}")
  string(REGEX REPLACE "[.+~]dfsg.*$" "" version "${version}")
  set(${result} "${version}" PARENT_SCOPE)
endfunction()

# A package URL for a Debian source package.
function(sbom_purl package version result)
  string(REPLACE ":" "%3A" version "${version}")
  string(REPLACE "+" "%2B" version "${version}")
  set(${result} "pkg:deb/debian/${package}@${version}?arch=source&distro=debian-12" PARENT_SCOPE)
endfunction()

# The pedigree of a library built with patches (a list of their file names
# under third_party/patches/PACKAGE): each patch, and the CVE its header
# names. Empty without patches.
function(sbom_patches package patches result)
  set(json "")
  set(sep "")
  foreach(patch IN LISTS patches)
    file(READ ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../third_party/patches/${package}/${patch} text)
    string(REGEX MATCH "CVE-[0-9]+-[0-9]+" cve "${text}")
    string(REGEX MATCH "^[^\n]*" summary "${text}")
    sbom_quote("${summary}" q_summary)
    string(APPEND json "${sep}{\"type\": \"backport\", \"diff\": {\"url\": \"third_party/patches/${package}/${patch}\"},
        \"resolves\": [{\"type\": \"security\", \"id\": \"${cve}\", \"description\": ${q_summary}}]}")
    set(sep ", ")
  endforeach()
  if(json)
    set(json "\"patches\": [${json}]")
  endif()
  set(${result} "${json}" PARENT_SCOPE)
endfunction()

# A library component built from Debian's source package `package` at
# `debian`, or from upstream's `commit` of `repository` when `debian` is
# "upstream"; `gap` (may be empty) says what the build lacks; `patches` are
# applied on top.
function(sbom_library ref name version license package debian gap result)
  cmake_parse_arguments(PARSE_ARGV 8 arg "" "COMMIT;REPOSITORY" "PATCHES")
  sbom_quote("${name}" q_name)
  sbom_quote("${license}" q_license)
  if(debian STREQUAL "upstream")
    string(REGEX REPLACE "^https://github.com/" "" project "${arg_REPOSITORY}")
    set(purl "pkg:github/${project}@${arg_COMMIT}")
    # The Debian source package it stands for, whose changelogs the VEX
    # answers.
    set(properties "{\"name\": \"debian:source-package\", \"value\": \"${package}\"},
                       {\"name\": \"sepia:upstream-commit\", \"value\": \"${arg_COMMIT}\"}")
  else()
    sbom_purl(${package} ${debian} purl)
    set(properties "{\"name\": \"debian:source-package\", \"value\": \"${package}\"},
                       {\"name\": \"debian:source-version\", \"value\": \"${debian}\"}")
  endif()
  set(json "{\"type\": \"library\", \"bom-ref\": \"${ref}\", \"name\": ${q_name}, \"version\": \"${version}\",
      \"licenses\": [{\"expression\": ${q_license}}], \"purl\": \"${purl}\",
      \"properties\": [${properties}")
  sbom_patches("${package}" "${arg_PATCHES}" patches)
  set(pedigree "")
  if(gap)
    sbom_quote("${gap}" q_gap)
    string(APPEND json ",\n                       {\"name\": \"sepia:security-gap\", \"value\": ${q_gap}}")
    set(pedigree "\"notes\": ${q_gap}")
  endif()
  if(patches)
    if(pedigree)
      string(APPEND pedigree ", ")
    endif()
    string(APPEND pedigree "${patches}")
  endif()
  string(APPEND json "]")
  if(pedigree)
    string(APPEND json ",\n      \"pedigree\": {${pedigree}}")
  endif()
  string(APPEND json "}")
  set(${result} "${json}" PARENT_SCOPE)
endfunction()

# The VEX: one entry for each line of VULNERABILITIES ("PACKAGE ID STATE
# JUSTIFICATION DETAIL", tab-separated), for the component of that package.
function(sbom_vulnerabilities file refs result)
  # Semicolons, which would split CMake's lists, stand in as <SEMICOLON>
  # until the text is written.
  file(READ ${file} text)
  string(REPLACE ";" "<SEMICOLON>" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(json "")
  set(sep "")
  foreach(line IN LISTS lines)
    if(line STREQUAL "")
      continue()
    endif()
    if(NOT line MATCHES "^([^\t]+)\t([^\t]+)\t([^\t]+)\t([^\t]*)\t([^\t]*)$")
      message(FATAL_ERROR "unexpected line in ${file}: ${line}")
    endif()
    set(package "${CMAKE_MATCH_1}")
    set(id "${CMAKE_MATCH_2}")
    set(state "${CMAKE_MATCH_3}")
    set(justification "${CMAKE_MATCH_4}")
    string(REPLACE "<SEMICOLON>" ";" detail "${CMAKE_MATCH_5}")
    list(FIND refs "${package}" at)
    if(at LESS 0)
      message(FATAL_ERROR "${file} names ${package}, which the release does not link")
    endif()
    math(EXPR at "${at} + 1")
    list(GET refs ${at} ref)
    if(id MATCHES "^GHSA-")
      set(source "{\"name\": \"GitHub\", \"url\": \"https://github.com/advisories/${id}\"}")
    else()
      set(source "{\"name\": \"NVD\", \"url\": \"https://nvd.nist.gov/vuln/detail/${id}\"}")
    endif()
    sbom_quote("${detail}" q_detail)
    set(analysis "\"state\": \"${state}\"")
    if(justification)
      string(APPEND analysis ", \"justification\": \"${justification}\"")
    endif()
    string(APPEND analysis ", \"detail\": ${q_detail}")
    string(APPEND json "${sep}{\"bom-ref\": \"vex-${ref}-${id}\", \"id\": \"${id}\", \"source\": ${source},
      \"analysis\": {${analysis}}, \"affects\": [{\"ref\": \"${ref}\"}]}")
    set(sep ",\n    ")
  endforeach()
  set(${result} "${json}" PARENT_SCOPE)
endfunction()

function(write_sbom path version epoch versions_file company)
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  string(TIMESTAMP timestamp "%Y-%m-%dT%H:%M:%SZ" UTC)
  set(components "")
  set(host_libraries "")

  # The codec and metadata libraries, as build-codecs.sh recorded them:
  # "PACKAGE VERSION", "PACKAGE USED (wanted WANTED)", either followed by
  # "patched PATCH" for each patch applied, or "PACKAGE upstream VERSION
  # COMMIT REPOSITORY".
  file(STRINGS ${versions_file} records)
  set(refs "")
  foreach(record IN LISTS records)
    set(commit "")
    set(repository "")
    set(patches "")
    set(wanted "")
    if(record MATCHES "^([^ ]+) upstream ([^ ]+) ([0-9a-f]+) ([^ ]+)$")
      set(package ${CMAKE_MATCH_1})
      set(debian upstream)
      set(upstream ${CMAKE_MATCH_2})
      set(commit ${CMAKE_MATCH_3})
      set(repository ${CMAKE_MATCH_4})
    elseif(record MATCHES "^([^ ]+) ([^ ]+)( \\(wanted ([^)]+)\\))?(( patched [^ ]+)*)$")
      set(package ${CMAKE_MATCH_1})
      set(debian ${CMAKE_MATCH_2})
      set(wanted "${CMAKE_MATCH_4}")
      string(REGEX REPLACE " patched " ";" patches "${CMAKE_MATCH_5}")
      list(FILTER patches EXCLUDE REGEX "^$")
      sbom_upstream(${debian} upstream)
    else()
      message(FATAL_ERROR "unexpected version record '${record}' in ${versions_file}")
    endif()
    set(found "")
    foreach(entry IN LISTS sbom_libraries)
      string(REPLACE "|" ";" fields "${entry}")
      list(GET fields 0 known)
      if(known STREQUAL package)
        list(GET fields 1 name)
        list(GET fields 2 license)
        set(found 1)
      endif()
    endforeach()
    if(NOT found)
      message(FATAL_ERROR "no licence recorded for ${package}: add it to cmake/write_sbom.cmake")
    endif()
    set(gap "")
    if(wanted)
      set(gap "Built from Debian source ${package} ${debian}: the archive this build reached did not serve "
              "the source of ${wanted}, whose security fixes Debian's binary packages carry and this build lacks.")
      string(CONCAT gap ${gap})
    endif()
    sbom_library(${name} ${name} ${upstream} "${license}" ${package} ${debian} "${gap}" component
                 COMMIT "${commit}" REPOSITORY "${repository}" PATCHES "${patches}")
    string(APPEND components ",\n    ${component}")
    list(APPEND host_libraries ${name})
    list(APPEND refs ${package} ${name})
  endforeach()
  get_filename_component(folder ${versions_file} DIRECTORY)
  sbom_vulnerabilities(${folder}/VULNERABILITIES "${refs}" vulnerabilities)

  # The compiler's runtime, linked into both: mingw-w64's C runtime start-up
  # and libgcc and libstdc++ (the DLL takes the new-handler and stack probe
  # from these; the host all it uses), and winpthreads into the host.
  execute_process(COMMAND dpkg-query -W -f=\${Version} mingw-w64-x86-64-dev OUTPUT_VARIABLE mingw ERROR_QUIET)
  execute_process(COMMAND dpkg-query -W -f=\${source:Version}|\${Version} gcc-mingw-w64-x86-64-posix-runtime
                  OUTPUT_VARIABLE gcc ERROR_QUIET)
  if(NOT mingw OR NOT gcc MATCHES "^([^|]+)\\|([^-]+)")
    message(FATAL_ERROR "cannot read the versions of mingw-w64 and gcc-mingw-w64 from dpkg")
  endif()
  set(gcc_source ${CMAKE_MATCH_1})
  set(gcc_upstream ${CMAKE_MATCH_2})
  sbom_upstream(${mingw} mingw_upstream)
  sbom_library(mingw-w64-crt mingw-w64-crt ${mingw_upstream} "ZPL-2.1" mingw-w64 ${mingw} "" crt)
  sbom_library(winpthreads winpthreads ${mingw_upstream} "MIT" mingw-w64 ${mingw} "" winpthreads)
  sbom_library(libgcc libgcc ${gcc_upstream} "GPL-3.0-or-later WITH GCC-exception-3.1" gcc-mingw-w64 ${gcc_source} ""
               libgcc)
  sbom_library(libstdc++ libstdc++ ${gcc_upstream} "GPL-3.0-or-later WITH GCC-exception-3.1" gcc-mingw-w64
               ${gcc_source} "" libstdcxx)
  string(APPEND components ",\n    ${crt},\n    ${winpthreads},\n    ${libgcc},\n    ${libstdcxx}")
  list(APPEND host_libraries mingw-w64-crt winpthreads libgcc libstdc++)

  sbom_quote("${company}" q_company)
  set(dll "{\"type\": \"library\", \"bom-ref\": \"sepia.dll\", \"name\": \"sepia.dll\", \"version\": \"${version}\",
      \"description\": \"The Sepia colour-toning plug-in\", \"supplier\": {\"name\": ${q_company}},
      \"licenses\": [{\"license\": {\"id\": \"MIT\"}}]}")
  set(host "{\"type\": \"application\", \"bom-ref\": \"sepia-host.exe\", \"name\": \"sepia-host.exe\",
      \"version\": \"${version}\", \"description\": \"The reference host that tries the plug-in on image files\",
      \"supplier\": {\"name\": ${q_company}}, \"licenses\": [{\"license\": {\"id\": \"MIT\"}}],
      \"properties\": [{\"name\": \"sepia:distributed-under\",
                      \"value\": \"GPL-3.0-or-later, as it links exiv2 (GPL-2.0-or-later) with libheif and libde265 (LGPL-3.0-or-later)\"}]}")

  set(host_refs "")
  foreach(library IN LISTS host_libraries)
    string(APPEND host_refs "${sep}\"${library}\"")
    set(sep ", ")
  endforeach()
  set(library_dependencies "")
  foreach(library IN LISTS host_libraries)
    string(APPEND library_dependencies ",\n    {\"ref\": \"${library}\", \"dependsOn\": []}")
  endforeach()

  file(WRITE ${path} "{
  \"bomFormat\": \"CycloneDX\",
  \"specVersion\": \"1.5\",
  \"version\": 1,
  \"metadata\": {
    \"timestamp\": \"${timestamp}\",
    \"component\": {\"type\": \"application\", \"bom-ref\": \"sepia-release\", \"name\": \"sepia\",
      \"version\": \"${version}\", \"description\": \"Sepia ${version} for Windows x64, release package\",
      \"supplier\": {\"name\": ${q_company}}, \"licenses\": [{\"license\": {\"id\": \"MIT\"}}]},
    \"supplier\": {\"name\": ${q_company}}
  },
  \"components\": [
    ${dll},
    ${host}${components}
  ],
  \"dependencies\": [
    {\"ref\": \"sepia-release\", \"dependsOn\": [\"sepia.dll\", \"sepia-host.exe\"]},
    {\"ref\": \"sepia.dll\", \"dependsOn\": [\"mingw-w64-crt\", \"libgcc\", \"libstdc++\"]},
    {\"ref\": \"sepia-host.exe\", \"dependsOn\": [${host_refs}]}${library_dependencies}
  ],
  \"vulnerabilities\": [
    ${vulnerabilities}
  ]
}
")
endfunction()
