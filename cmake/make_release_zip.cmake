# cmake -DNAME=... -DVERSION=... -DEPOCH=... -DSTAGE=... -DZIP=... -DSTRIP=... -DDLL=... -DHOST=... -DREADME=...
#       -DLICENSE=... -DNOTICES=... -DCODEC_VERSIONS=... -DCOMPANY=... -P make_release_zip.cmake
# Stages the release's files and packs them into ZIP, so that the same inputs
# give the same bytes whatever the time zone, locale and umask: every file
# gets mode 0644 and the commit's time, the entries go in a fixed order, and
# Info-ZIP's zip stores neither owners nor access times (-X).
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
set(sbom ${NAME}.cdx.json)
set(files sepia.dll sepia.dll.debug sepia-host.exe README.md LICENSE THIRD-PARTY-NOTICES.txt ${sbom})

file(COPY_FILE ${DLL} ${STAGE}/sepia.dll)
file(COPY_FILE ${DLL}.debug ${STAGE}/sepia.dll.debug)
file(COPY_FILE ${HOST} ${STAGE}/sepia-host.exe)
# (strip restamps the file; with SOURCE_DATE_EPOCH, with the commit's time.)
execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${EPOCH} ${STRIP} --strip-all ${STAGE}/sepia-host.exe
                COMMAND_ERROR_IS_FATAL ANY)
file(COPY_FILE ${README} ${STAGE}/README.md)
file(COPY_FILE ${LICENSE} ${STAGE}/LICENSE)
file(COPY_FILE ${NOTICES} ${STAGE}/THIRD-PARTY-NOTICES.txt)
include(${CMAKE_CURRENT_LIST_DIR}/write_sbom.cmake)
write_sbom(${STAGE}/${sbom} "${VERSION}" "${EPOCH}" "${CODEC_VERSIONS}" "${COMPANY}")

# SHA256SUMS, in sha256sum's format, then everything at the commit's time.
set(sums "")
foreach(name IN LISTS files)
  file(SHA256 ${STAGE}/${name} hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${STAGE}/SHA256SUMS "${sums}")
list(APPEND files SHA256SUMS)
foreach(name IN LISTS files)
  file(CHMOD ${STAGE}/${name} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
execute_process(COMMAND touch -d @${EPOCH} ${files} WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
# The entries go in a folder of the release's name.
set(entries "")
foreach(name IN LISTS files)
  list(APPEND entries ${NAME}/${name})
endforeach()
file(REMOVE ${ZIP})
get_filename_component(parent ${STAGE} DIRECTORY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC LC_ALL=C zip -X -D -q -9 ${ZIP} ${entries}
                WORKING_DIRECTORY ${parent} COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "${ZIP}: ${files}")
