# Applies VELMOR_SANITIZE to everything built from here on, so that the library,
# the tests and the tools share one instrumented runtime.
if(VELMOR_SANITIZE)
  string(REPLACE " " "" _velmor_san "${VELMOR_SANITIZE}")
  add_compile_options(-fsanitize=${_velmor_san} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${_velmor_san})
  if(_velmor_san MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()
