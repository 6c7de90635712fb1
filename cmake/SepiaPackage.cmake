# The release package: `cmake --build --preset windows --target package`
# writes sepia-<version>-windows-x64.zip with the DLL and its debug file, the
# reference host, a README for the user, the licence, and SHA256SUMS.
configure_file(${PROJECT_SOURCE_DIR}/docs/release/README.md.in ${PROJECT_BINARY_DIR}/release/README.md @ONLY)

# The DLL is stripped already (with its debug link); the host is stripped by
# CPack (CPACK_STRIP_FILES), which strips installed targets only.
install(FILES $<TARGET_FILE:sepia> $<TARGET_FILE:sepia>.debug DESTINATION .)
install(TARGETS sepia-host RUNTIME DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/release/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
# Last: the checksums of everything installed above, in sha256sum's format.
install(CODE [[
  set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  set(sums "")
  foreach(name sepia.dll sepia.dll.debug sepia-host.exe README.md LICENSE)
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
