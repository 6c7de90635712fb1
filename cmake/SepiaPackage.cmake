# The release package: `cmake --build --preset windows --target package`
# writes sepia-<version>-windows-x64.zip with the DLL and its debug file, the
# reference host, a README for the user, the licence, the licences of the
# codec and metadata libraries linked into the host, and SHA256SUMS.
configure_file(${PROJECT_SOURCE_DIR}/docs/release/README.md.in ${PROJECT_BINARY_DIR}/release/README.md @ONLY)

# The libraries' licences, each under the Debian source version it was built
# from.
set(notices "sepia-host.exe links these libraries statically. Each was built from Debian's source\n"
            "package of the version named, with Debian's patches applied; their sources are in\n"
            "Debian's archive (apt-get source PACKAGE=VERSION).\n\n"
            "exiv2 is licensed under the GNU General Public License, version 2 or later, so\n"
            "sepia-host.exe as a whole is distributed under that licence: its complete source is\n"
            "this project's source at this version together with the Debian source packages\n"
            "listed here. sepia.dll contains none of these libraries; it is under the MIT licence.\n")
if(EXISTS ${SEPIA_CODECS_PREFIX}/VERSIONS)
  file(STRINGS ${SEPIA_CODECS_PREFIX}/VERSIONS versions)
  foreach(line IN LISTS versions)
    string(APPEND notices "\n  ${line}")
  endforeach()
endif()
foreach(library zlib libpng libjpeg-turbo libtiff libwebp expat exiv2 nettle)
  file(GLOB text_file ${SEPIA_CODECS_PREFIX}/licenses/${library}*.txt)
  file(READ ${text_file} text)
  string(APPEND notices "\n\n==== ${library} ====\n\n${text}")
endforeach()
file(WRITE ${PROJECT_BINARY_DIR}/release/THIRD-PARTY-NOTICES.txt "${notices}")

# The DLL is stripped already (with its debug link); the host is stripped by
# CPack (CPACK_STRIP_FILES), which strips installed targets only.
install(FILES $<TARGET_FILE:sepia> $<TARGET_FILE:sepia>.debug DESTINATION .)
install(TARGETS sepia-host RUNTIME DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/release/README.md ${PROJECT_SOURCE_DIR}/LICENSE
              ${PROJECT_BINARY_DIR}/release/THIRD-PARTY-NOTICES.txt DESTINATION .)
# Last: the checksums of everything installed above, in sha256sum's format.
install(CODE [[
  set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  set(sums "")
  foreach(name sepia.dll sepia.dll.debug sepia-host.exe README.md LICENSE THIRD-PARTY-NOTICES.txt)
    file(SHA256 "${folder}/${name}" hash)
    string(APPEND sums "${hash}  ${name}\n")
  endforeach()
  file(WRITE "${folder}/SHA256SUMS" "${sums}")
]])

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME sepia)
set(CPACK_PACKAGE_VENDOR "${SEPIA_COMPANY}")
set(CPACK_PACKAGE_FILE_NAME "sepia-${PROJECT_VERSION}-windows-x64")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
include(CPack)
