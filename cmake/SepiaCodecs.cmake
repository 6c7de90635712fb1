# The image codecs and metadata libraries of the reference host, as one
# target: sepia_codecs.
#  - Natively, Debian's packages, found through pkg-config.
#  - With SEPIA_CODECS_PREFIX (the windows and fuzz presets), the static
#    libraries that scripts/build-codecs.sh built there from Debian's
#    sources: for the Windows host, and instrumented for the fuzz targets.
set(SEPIA_CODECS_PREFIX "" CACHE PATH "Prefix of codecs built by scripts/build-codecs.sh (empty: the system's)")

add_library(sepia_codecs INTERFACE)
if(SEPIA_CODECS_PREFIX)
  # Link order: each library before the ones it uses.
  set(names exiv2 exiv2-xmp expat nettle heif de265 dav1d aom jxl_threads jxl hwy brotlienc brotlidec brotlicommon
            lcms2 tiff webpmux webpdemux webp png16 jpeg z)
  foreach(name IN LISTS names)
    set(library ${SEPIA_CODECS_PREFIX}/lib/lib${name}.a)
    if(NOT EXISTS ${library})
      message(FATAL_ERROR "${library} is missing: run scripts/build-codecs.sh first")
    endif()
    target_link_libraries(sepia_codecs INTERFACE ${library})
  endforeach()
  target_include_directories(sepia_codecs SYSTEM INTERFACE ${SEPIA_CODECS_PREFIX}/include)
  # exiv2 built as a static library declares its interface without
  # dllimport; on Windows it uses the process-status and sockets libraries.
  target_compile_definitions(sepia_codecs INTERFACE exiv2lib_STATIC LIBHEIF_STATIC_BUILD JXL_STATIC_DEFINE
                                                      JXL_THREADS_STATIC_DEFINE)
  if(WIN32)
    target_link_libraries(sepia_codecs INTERFACE psapi ws2_32)
  endif()
  # Outside Windows, libwebp's threads need the system's thread library.
  if(NOT WIN32)
    find_package(Threads REQUIRED)
    target_link_libraries(sepia_codecs INTERFACE Threads::Threads m)
  endif()
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SEPIA_SYSTEM_CODECS REQUIRED IMPORTED_TARGET
                    libpng libjpeg libtiff-4 libwebp libwebpmux libwebpdemux libheif libjxl libjxl_threads exiv2
                    nettle lcms2 zlib)
  target_link_libraries(sepia_codecs INTERFACE PkgConfig::SEPIA_SYSTEM_CODECS)
endif()
