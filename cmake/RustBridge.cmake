# Builds bridge/ (our Rust crate over zenoh) with cargo and exposes it as the
# target velmor::bridge, together with the system libraries that the Rust
# standard library and zenoh need; likewise foxglove/, qrk's crate over
# the bridge and the Foxglove SDK (velmor::foxglove).
#
# cargo's target directory is shared by every build tree and checkout, so that
# zenoh and the other crates, which take minutes, compile once; cargo keys
# them itself. Our own crate is uplifted to one shared file name there, so
# every build runs cargo and copies the library into this build tree under a
# lock, rebuilding our crate when another checkout built last (cargo's own
# record of it is shared between checkouts): no build tree can link another
# checkout's bridge. Nothing is compiled at configure time and nothing
# in the source tree is touched.
find_program(CARGO_EXECUTABLE cargo HINTS $ENV{HOME}/.cargo/bin REQUIRED)
find_program(RUSTC_EXECUTABLE rustc HINTS $ENV{HOME}/.cargo/bin REQUIRED)

set(VELMOR_BRIDGE_DIR ${CMAKE_CURRENT_LIST_DIR}/../bridge)
get_filename_component(VELMOR_BRIDGE_DIR ${VELMOR_BRIDGE_DIR} ABSOLUTE)
if(DEFINED ENV{VELMOR_CARGO_TARGET_DIR})
  set(_velmor_cargo_default $ENV{VELMOR_CARGO_TARGET_DIR})
else()
  set(_velmor_cargo_default $ENV{HOME}/.cache/velmorqrk/cargo)
endif()
set(VELMOR_CARGO_TARGET_DIR ${_velmor_cargo_default} CACHE PATH "cargo target directory shared by every build")
set(VELMOR_BRIDGE_LIB ${CMAKE_BINARY_DIR}/bridge/libvelmor_bridge.a)
# The crates' Rust target: empty builds for the host as cargo does by default;
# a cross build (cmake/toolchain-aarch64.cmake) names the target triple and
# the C compiler that links for it.
set(VELMOR_RUST_TARGET "" CACHE STRING "Rust target triple of our crates (empty: the host)")
set(VELMOR_RUST_LINKER "" CACHE STRING "Linker cargo uses for VELMOR_RUST_TARGET")
if(VELMOR_RUST_TARGET)
  set(_velmor_rustc_target --target ${VELMOR_RUST_TARGET})
else()
  set(_velmor_rustc_target "")
endif()

if(NOT VELMOR_BRIDGE_NATIVE_LIBS)
  # The standard library's needs, from rustc on an empty crate (a fraction of
  # a second); the build step checks that the bridge itself needs no more.
  set(_velmor_probe ${CMAKE_BINARY_DIR}/bridge/native_probe)
  file(WRITE ${_velmor_probe}.rs "")
  execute_process(
    COMMAND ${RUSTC_EXECUTABLE} --edition 2021 --crate-type staticlib ${_velmor_rustc_target} --print native-static-libs
            -o ${_velmor_probe}.a ${_velmor_probe}.rs
    RESULT_VARIABLE _velmor_rustc_rc
    ERROR_VARIABLE _velmor_rustc_err
    OUTPUT_QUIET)
  string(REGEX MATCH "native-static-libs: ([^\n]*)" _velmor_match "${_velmor_rustc_err}")
  if(NOT _velmor_rustc_rc EQUAL 0 OR NOT _velmor_match)
    message(FATAL_ERROR "rustc did not report the standard library's native libraries:\n${_velmor_rustc_err}")
  endif()
  separate_arguments(_velmor_native UNIX_COMMAND "${CMAKE_MATCH_1}")
  set(VELMOR_BRIDGE_NATIVE_LIBS "${_velmor_native}" CACHE STRING "System libraries the Rust bridge needs")
  message(STATUS "Rust bridge native libraries: ${VELMOR_BRIDGE_NATIVE_LIBS}")
endif()

# A list's ";" would end the shell command: the build step gets commas.
string(REPLACE ";" "," _velmor_native_csv "${VELMOR_BRIDGE_NATIVE_LIBS}")

set(VELMOR_RUST_BUILD_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/BuildBridge.cmake)

# velmor_rust_archive(<library name> <crate folder> <comment>): builds the
# crate's static library into the build tree as the imported target
# <library name>_imported.
function(velmor_rust_archive crate crate_dir comment)
  file(RELATIVE_PATH _relative ${PROJECT_SOURCE_DIR} ${crate_dir})
  set(_archive ${CMAKE_BINARY_DIR}/${_relative}/lib${crate}.a)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/${_relative})
  add_custom_target(${crate}_build
    COMMAND ${CMAKE_COMMAND} -DCARGO=${CARGO_EXECUTABLE} -DCRATE_DIR=${crate_dir} -DCRATE=${crate}
            -DRELATIVE_DIR=${_relative} -DTARGET_DIR=${VELMOR_CARGO_TARGET_DIR} -DOUTPUT=${_archive}
            -DNATIVE_LIBS=${_velmor_native_csv} -DRUST_TARGET=${VELMOR_RUST_TARGET} -DRUST_LINKER=${VELMOR_RUST_LINKER}
            -P ${VELMOR_RUST_BUILD_SCRIPT}
    BYPRODUCTS ${_archive}
    COMMENT "${comment}"
    USES_TERMINAL
    VERBATIM)
  add_library(${crate}_imported STATIC IMPORTED GLOBAL)
  set_target_properties(${crate}_imported PROPERTIES IMPORTED_LOCATION ${_archive})
  add_dependencies(${crate}_imported ${crate}_build)
endfunction()

velmor_rust_archive(velmor_bridge ${VELMOR_BRIDGE_DIR} "Building the Rust bridge over zenoh")

# qrk's library: the bridge's C ABI and the Foxglove SDK's, in one archive, as
# two Rust static libraries in one program would clash. A program that sets
# its property VELMOR_LINKS_FOXGLOVE links it in place of the bridge, through
# every library of ours that links the bridge (velmorqrk among them); every
# other program and the module link the bridge alone. cargo runs for it only
# when such a program is built.
set(VELMOR_FOXGLOVE_DIR ${VELMOR_BRIDGE_DIR}/../foxglove)
get_filename_component(VELMOR_FOXGLOVE_DIR ${VELMOR_FOXGLOVE_DIR} ABSOLUTE)
velmor_rust_archive(velmor_foxglove ${VELMOR_FOXGLOVE_DIR} "Building qrk's Rust library (bridge and Foxglove SDK)")

set(_velmor_links_foxglove "$<BOOL:$<TARGET_PROPERTY:VELMOR_LINKS_FOXGLOVE>>")
add_library(velmor_bridge INTERFACE)
target_include_directories(velmor_bridge SYSTEM INTERFACE ${VELMOR_BRIDGE_DIR}/include)
target_link_libraries(velmor_bridge INTERFACE
  "$<IF:${_velmor_links_foxglove},velmor_foxglove_imported,velmor_bridge_imported>" ${VELMOR_BRIDGE_NATIVE_LIBS})
add_library(velmor::bridge ALIAS velmor_bridge)

# The Foxglove C ABI's header, for foxglove/ (the program must also set
# VELMOR_LINKS_FOXGLOVE).
add_library(velmor_foxglove INTERFACE)
target_include_directories(velmor_foxglove SYSTEM INTERFACE ${VELMOR_FOXGLOVE_DIR}/include)
target_link_libraries(velmor_foxglove INTERFACE velmor_bridge)
add_library(velmor::foxglove ALIAS velmor_foxglove)
