# sepia_library_code(target): compile options for code that goes into the
# plug-in library itself (hidden symbols everywhere). In the Windows DLL the
# code also uses no C++ exceptions and no RTTI, so that nothing of GCC's
# exception and terminate runtime is linked in, and carries debug
# information, which the build moves into a separate file beside the DLL.
function(sepia_library_code target)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(WIN32)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti -g)
  endif()
endfunction()
