# The release package: `cmake --build --preset windows --target package`
# writes sepia-<version>-windows-x64.zip with the DLL and its debug file, the
# reference host, a README for the user, the licence, the licences of the
# codec and metadata libraries linked into the host, a CycloneDX bill of
# materials, and SHA256SUMS. The zip is reproducible: its entries, their
# order, times (the commit's) and modes are fixed (cmake/make_release_zip.cmake).
configure_file(${PROJECT_SOURCE_DIR}/docs/release/README.md.in ${PROJECT_BINARY_DIR}/release/README.md @ONLY)

# The libraries' licences, each under the Debian source version it was built
# from.
string(CONCAT notices "sepia-host.exe links these libraries statically. Each was built from Debian's source\n"
            "package of the version named, with Debian's patches applied (their sources are in\n"
            "Debian's archive: apt-get source PACKAGE=VERSION), and with the patches named, which\n"
            "are in this project's source under third_party/patches; expat was built from\n"
            "upstream's source at the commit named, which is in this project's source under\n"
            "third_party/expat.\n\n"
            "exiv2 is licensed under the GNU General Public License, version 2 or later, and\n"
            "libheif and libde265 under the GNU Lesser General Public License, version 3 or\n"
            "later. sepia-host.exe as a whole is therefore distributed under the GNU General\n"
            "Public License, version 3 or later. Its complete corresponding source is this\n"
            "project's source at this release's tag, third_party/ included, together with the\n"
            "Debian source packages listed here, at exactly the versions named (the bill of\n"
            "materials names them too);\n"
            "scripts/build-codecs.sh builds them as this release did. sepia.dll contains none\n"
            "of these libraries; it is under the MIT licence.\n")
if(EXISTS ${SEPIA_CODECS_PREFIX}/VERSIONS)
  file(STRINGS ${SEPIA_CODECS_PREFIX}/VERSIONS versions)
  foreach(line IN LISTS versions)
    string(APPEND notices "\n  ${line}")
  endforeach()
endif()
foreach(library zlib libpng libjpeg-turbo libtiff libwebp expat exiv2 nettle lcms2 libheif libde265 dav1d aom
                libjxl highway brotli)
  file(READ ${SEPIA_CODECS_PREFIX}/licenses/${library}.txt text)
  string(APPEND notices "\n\n==== ${library} ====\n\n${text}")
endforeach()
file(WRITE ${PROJECT_BINARY_DIR}/release/THIRD-PARTY-NOTICES.txt "${notices}")

set(SEPIA_RELEASE_NAME sepia-${PROJECT_VERSION}-windows-x64)
# Earlier builds packed with CPack; its configuration left in a build folder
# would claim the name "package".
file(REMOVE ${PROJECT_BINARY_DIR}/CPackConfig.cmake ${PROJECT_BINARY_DIR}/CPackSourceConfig.cmake)
add_custom_target(package
  COMMAND ${CMAKE_COMMAND} -DNAME=${SEPIA_RELEASE_NAME} -DVERSION=${PROJECT_VERSION}
          -DEPOCH=${SEPIA_SOURCE_DATE_EPOCH} -DSTAGE=${PROJECT_BINARY_DIR}/release/${SEPIA_RELEASE_NAME}
          -DZIP=${PROJECT_BINARY_DIR}/${SEPIA_RELEASE_NAME}.zip -DSTRIP=${CMAKE_STRIP}
          -DDLL=$<TARGET_FILE:sepia> -DHOST=$<TARGET_FILE:sepia-host>
          -DREADME=${PROJECT_BINARY_DIR}/release/README.md -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE
          -DNOTICES=${PROJECT_BINARY_DIR}/release/THIRD-PARTY-NOTICES.txt
          -DCODEC_VERSIONS=${SEPIA_CODECS_PREFIX}/VERSIONS -DCOMPANY=${SEPIA_COMPANY}
          -P ${PROJECT_SOURCE_DIR}/cmake/make_release_zip.cmake
  DEPENDS sepia sepia-host
  COMMENT "Packing ${SEPIA_RELEASE_NAME}.zip"
  VERBATIM)
