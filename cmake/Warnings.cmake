# Warnings for the project's own code; every target calls project_warnings.
function(project_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Wunused -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough
    -Wformat=2)
  if(WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
option(WERROR "Treat warnings as errors" OFF)
