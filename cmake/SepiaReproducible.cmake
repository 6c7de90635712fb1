# Reproducible builds: one commit gives the same bytes wherever, whenever and
# by whomever it is built.
#  - Every time stamp a build records (the PE header's, the release zip's) is
#    the commit's: SOURCE_DATE_EPOCH from the environment, else the time of
#    the commit checked out.
#  - No build path remains in any output: the source folder is mapped to "."
#    in debug information and in __FILE__.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(SEPIA_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE SEPIA_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  # Read again whenever another commit is checked out or made: HEAD names
  # the branch, and the reflog of HEAD grows with every commit and checkout.
  foreach(path HEAD logs/HEAD)
    execute_process(COMMAND git rev-parse --path-format=absolute --git-path ${path}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE file OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    if(file AND EXISTS ${file})
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    endif()
  endforeach()
endif()
if(NOT SEPIA_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(STATUS "Neither SOURCE_DATE_EPOCH nor a git commit: build outputs are dated 1970-01-01")
  set(SEPIA_SOURCE_DATE_EPOCH 0)
endif()

add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)
if(WIN32)
  # GNU ld stamps a PE file with SOURCE_DATE_EPOCH when it is set.
  foreach(language C CXX RC)
    set(CMAKE_${language}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${SEPIA_SOURCE_DATE_EPOCH})
  endforeach()
endif()
