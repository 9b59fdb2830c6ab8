# Builds bridge/ (our Rust crate over zenoh) with cargo and exposes it as the
# imported target velmor::bridge, together with the system libraries that the
# Rust standard library and zenoh need, as cargo itself reports them.
find_program(CARGO_EXECUTABLE cargo HINTS $ENV{HOME}/.cargo/bin REQUIRED)

set(VELMOR_BRIDGE_DIR ${CMAKE_CURRENT_LIST_DIR}/../bridge)
get_filename_component(VELMOR_BRIDGE_DIR ${VELMOR_BRIDGE_DIR} ABSOLUTE)
if(DEFINED ENV{VELMOR_CARGO_TARGET_DIR})
  set(_velmor_cargo_default $ENV{VELMOR_CARGO_TARGET_DIR})
else()
  # Outside the build tree so that clean clones and wheel builds reuse the
  # (slow to build) zenoh crates.
  set(_velmor_cargo_default $ENV{HOME}/.cache/velmorqrk/cargo)
endif()
set(VELMOR_CARGO_TARGET_DIR ${_velmor_cargo_default} CACHE PATH "cargo target directory for the bridge")
set(VELMOR_BRIDGE_LIB ${VELMOR_CARGO_TARGET_DIR}/release/libvelmor_bridge.a)
# C build scripts among zenoh's dependencies track CC and friends; the wheel
# build sets them and the plain build does not, which would make every switch
# between the two rebuild zenoh. Cargo always sees them unset.
set(VELMOR_CARGO_ENV ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX --unset=CFLAGS --unset=CXXFLAGS
    --unset=AR --unset=LDFLAGS CARGO_TARGET_DIR=${VELMOR_CARGO_TARGET_DIR})

if(NOT VELMOR_BRIDGE_NATIVE_LIBS)
  # cargo prints the list only when it compiles the crate itself, so retry
  # once after marking the crate's root as changed.
  foreach(_attempt 1 2)
    execute_process(
      COMMAND ${VELMOR_CARGO_ENV} ${CARGO_EXECUTABLE} rustc --release --locked --lib --crate-type staticlib
              -- --print native-static-libs
      WORKING_DIRECTORY ${VELMOR_BRIDGE_DIR}
      RESULT_VARIABLE _velmor_cargo_rc
      ERROR_VARIABLE _velmor_cargo_err
      OUTPUT_QUIET)
    if(NOT _velmor_cargo_rc EQUAL 0)
      message(FATAL_ERROR "cargo failed to build the bridge:\n${_velmor_cargo_err}")
    endif()
    string(REGEX MATCH "native-static-libs: ([^\n]*)" _velmor_match "${_velmor_cargo_err}")
    if(_velmor_match)
      break()
    endif()
    file(TOUCH ${VELMOR_BRIDGE_DIR}/src/lib.rs)
  endforeach()
  if(NOT _velmor_match)
    message(FATAL_ERROR "cargo did not report the bridge's native libraries")
  endif()
  separate_arguments(_velmor_native UNIX_COMMAND "${CMAKE_MATCH_1}")
  set(VELMOR_BRIDGE_NATIVE_LIBS "${_velmor_native}" CACHE STRING "System libraries the Rust bridge needs")
  message(STATUS "Rust bridge native libraries: ${VELMOR_BRIDGE_NATIVE_LIBS}")
endif()

file(GLOB_RECURSE _velmor_bridge_sources CONFIGURE_DEPENDS ${VELMOR_BRIDGE_DIR}/src/*.rs)
add_custom_command(
  OUTPUT ${VELMOR_BRIDGE_LIB}
  COMMAND ${VELMOR_CARGO_ENV} ${CARGO_EXECUTABLE} build --release --locked --lib
  WORKING_DIRECTORY ${VELMOR_BRIDGE_DIR}
  DEPENDS ${_velmor_bridge_sources} ${VELMOR_BRIDGE_DIR}/Cargo.toml ${VELMOR_BRIDGE_DIR}/Cargo.lock
  COMMENT "Building the Rust bridge over zenoh"
  USES_TERMINAL)
add_custom_target(velmor_bridge_build DEPENDS ${VELMOR_BRIDGE_LIB})

add_library(velmor_bridge_imported STATIC IMPORTED GLOBAL)
set_target_properties(velmor_bridge_imported PROPERTIES IMPORTED_LOCATION ${VELMOR_BRIDGE_LIB})
add_dependencies(velmor_bridge_imported velmor_bridge_build)

add_library(velmor_bridge INTERFACE)
target_include_directories(velmor_bridge SYSTEM INTERFACE ${VELMOR_BRIDGE_DIR}/include)
target_link_libraries(velmor_bridge INTERFACE velmor_bridge_imported ${VELMOR_BRIDGE_NATIVE_LIBS})
add_library(velmor::bridge ALIAS velmor_bridge)
