# Builds our Rust code, the bridge over zenoh (bridge/) and qrk's Foxglove
# library (foxglove/), as one shared library, libvelmor_runtime.so (the
# workspace's runtime/ crate), with cargo, and exposes it as the imported
# target velmor_runtime; the interface targets velmor::bridge and
# velmor::foxglove add each C ABI's header. The module, the programs and the
# tests all load this one library: one copy of zenoh and the Rust runtime on
# disk and in a process, whatever links it. It exports the vb_ and vf_ functions alone (the build step checks
# that), so another Rust runtime in the same process, such as the one in
# zenoh's Python package, shares none of its symbols.
#
# cargo's target directory is shared by every build tree and checkout, so that
# zenoh and the other crates, which take minutes, compile once; cargo keys
# them itself. Our own crates are uplifted to one shared file name there, so
# every build runs cargo and copies the library into this build tree under a
# lock, rebuilding our crates when another checkout built last (cargo's own
# record of them is shared between checkouts): no build tree can link another
# checkout's library. Nothing is compiled at configure time and nothing in
# the source tree is touched.
find_program(CARGO_EXECUTABLE cargo HINTS $ENV{HOME}/.cargo/bin REQUIRED)

get_filename_component(VELMOR_WORKSPACE_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(VELMOR_BRIDGE_DIR ${VELMOR_WORKSPACE_DIR}/bridge)
set(VELMOR_FOXGLOVE_DIR ${VELMOR_WORKSPACE_DIR}/foxglove)
if(DEFINED ENV{VELMOR_CARGO_TARGET_DIR})
  set(_velmor_cargo_default $ENV{VELMOR_CARGO_TARGET_DIR})
else()
  set(_velmor_cargo_default $ENV{HOME}/.cache/velmorqrk/cargo)
endif()
set(VELMOR_CARGO_TARGET_DIR ${_velmor_cargo_default} CACHE PATH "cargo target directory shared by every build")
# The crates' Rust target: empty builds for the host as cargo does by default;
# a cross build (cmake/toolchain-aarch64.cmake) names the target triple and
# the C compiler that links for it.
set(VELMOR_RUST_TARGET "" CACHE STRING "Rust target triple of our crates (empty: the host)")
set(VELMOR_RUST_LINKER "" CACHE STRING "Linker cargo uses for VELMOR_RUST_TARGET")

# The library's file and SONAME: consumers record the name alone and find the
# file through their RPATH.
set(VELMOR_RUNTIME_SONAME libvelmor_runtime.so)
set(VELMOR_RUNTIME_LIB ${CMAKE_BINARY_DIR}/runtime/${VELMOR_RUNTIME_SONAME})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/runtime)
add_custom_target(velmor_runtime_build
  COMMAND ${CMAKE_COMMAND} -DCARGO=${CARGO_EXECUTABLE} -DCRATE_DIR=${VELMOR_WORKSPACE_DIR}/runtime -DSONAME=${VELMOR_RUNTIME_SONAME}
          -DTARGET_DIR=${VELMOR_CARGO_TARGET_DIR} -DOUTPUT=${VELMOR_RUNTIME_LIB} -DNM=${CMAKE_NM}
          -DRUST_TARGET=${VELMOR_RUST_TARGET} -DRUST_LINKER=${VELMOR_RUST_LINKER}
          -P ${CMAKE_CURRENT_LIST_DIR}/BuildRuntime.cmake
  BYPRODUCTS ${VELMOR_RUNTIME_LIB}
  COMMENT "Building the Rust runtime library (bridge over zenoh, Foxglove SDK)"
  USES_TERMINAL
  VERBATIM)
add_library(velmor_runtime SHARED IMPORTED GLOBAL)
set_target_properties(velmor_runtime PROPERTIES
  IMPORTED_LOCATION ${VELMOR_RUNTIME_LIB}
  IMPORTED_SONAME ${VELMOR_RUNTIME_SONAME})
add_dependencies(velmor_runtime velmor_runtime_build)

# The bridge's C ABI.
add_library(velmor_bridge INTERFACE)
target_include_directories(velmor_bridge SYSTEM INTERFACE ${VELMOR_BRIDGE_DIR}/include)
target_link_libraries(velmor_bridge INTERFACE velmor_runtime)
add_library(velmor::bridge ALIAS velmor_bridge)

# The Foxglove C ABI, for foxglove/.
add_library(velmor_foxglove INTERFACE)
target_include_directories(velmor_foxglove SYSTEM INTERFACE ${VELMOR_FOXGLOVE_DIR}/include)
target_link_libraries(velmor_foxglove INTERFACE velmor_runtime)
add_library(velmor::foxglove ALIAS velmor_foxglove)
