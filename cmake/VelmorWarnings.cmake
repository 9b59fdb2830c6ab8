# Our own targets warn on everything; third-party headers come in as SYSTEM.
# Warnings are errors only where the project's scripts ask for it (our
# development and CI builds): a user building from source with a newer
# compiler is not stopped by a warning it has learnt since.
option(VELMOR_WERROR "Treat warnings in our own targets as errors" OFF)

function(velmor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(VELMOR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
