# sepia_windows_plugin_dll(target): how the plug-in DLL is linked and shipped.
#  - exactly the five exports (.def file);
#  - a VERSIONINFO resource stamped with the project version;
#  - address-space layout randomisation with 64-bit entropy and no
#    executable data, requested explicitly rather than left to the
#    linker's defaults;
#  - stripped, with its debug information in <dll>.debug beside it, linked by
#    a .gnu_debuglink section, so that debuggers and crash-dump tools find it.
function(sepia_windows_plugin_dll target)
  configure_file(${PROJECT_SOURCE_DIR}/plugin/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version.rc @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/plugin/sepia.def ${CMAKE_CURRENT_BINARY_DIR}/version.rc)
  target_link_options(${target} PRIVATE -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
  # binutils restamps a PE file it rewrites, with SOURCE_DATE_EPOCH if set.
  set(dated ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${SEPIA_SOURCE_DATE_EPOCH})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${dated} ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${dated} ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
    COMMAND ${dated} ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Moving the debug information of ${target} into a file beside it"
    VERBATIM)
endfunction()
