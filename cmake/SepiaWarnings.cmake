# sepia_warnings(target): the project's warning policy, for its own targets
# only (third-party code built alongside keeps its own flags).
function(sepia_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
