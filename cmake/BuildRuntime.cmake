# Build step of libvelmor_runtime.so (see RustRuntime.cmake): the workspace's
# runtime/ crate as a cdylib, with the bridge and foxglove/ as its rlib
# dependencies. Run with cmake -P:
#   -DCARGO= -DCRATE_DIR=<runtime/> -DSONAME= -DTARGET_DIR= -DOUTPUT= -DNM=
#   [-DRUST_TARGET=<triple> -DRUST_LINKER=<its linker>]
# Runs cargo on the shared target directory and copies the library into the
# build tree, both under one lock, so that a concurrent build of another
# checkout cannot slip its library in between.
cmake_minimum_required(VERSION 3.22)
file(MAKE_DIRECTORY ${TARGET_DIR})
file(LOCK ${TARGET_DIR}/velmor-bridge.lock GUARD PROCESS TIMEOUT 3600)

# cargo names our crates' builds alike in every checkout and tells them stale
# by file times alone; the checkout's path, which abi/ (under the others)
# reads at compile time (.cargo/config.toml), makes a build that another
# checkout made last rebuild.

# A cross build names its target (cargo then builds under target/<triple>/,
# apart from the host's build) and its linker, in cargo's own variable for
# that target; the cc crate finds the target's C compiler by the triple.
set(target_arguments "")
set(linker_setting "")
set(release_dir ${TARGET_DIR}/release)
if(RUST_TARGET)
  set(target_arguments --target ${RUST_TARGET})
  string(TOUPPER "${RUST_TARGET}" target_variable)
  string(REPLACE "-" "_" target_variable "${target_variable}")
  if(RUST_LINKER)
    set(linker_setting CARGO_TARGET_${target_variable}_LINKER=${RUST_LINKER})
  endif()
  set(release_dir ${TARGET_DIR}/${RUST_TARGET}/release)
endif()

# C build scripts among zenoh's dependencies track CC and friends; the wheel
# build sets them and the plain build does not, which would make every switch
# between the two rebuild zenoh. cargo always sees them unset. rustc links a
# cdylib with --gc-sections and no SONAME: without one, every consumer would
# record the path it linked, the build tree's.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX --unset=CFLAGS --unset=CXXFLAGS --unset=AR
          --unset=LDFLAGS CARGO_TARGET_DIR=${TARGET_DIR} ${linker_setting}
          ${CARGO} rustc --release --locked --lib ${target_arguments}
          -- -C link-arg=-Wl,-soname,${SONAME}
  WORKING_DIRECTORY ${CRATE_DIR}
  RESULT_VARIABLE cargo_rc
  ERROR_VARIABLE cargo_err)
if(NOT cargo_rc EQUAL 0)
  message(FATAL_ERROR "cargo failed to build ${SONAME}:\n${cargo_err}")
endif()

# The library is loaded beside other Rust code (zenoh's Python package brings
# its own zenoh and runtime): anything it exports besides our C ABI, a Rust
# symbol or a bundled C library's (zstd, lz4, ring), could bind to the other
# copy. rustc exports only #[no_mangle] items, but any crate in the tree can
# add one.
# cargo's file name (runtime/Cargo.toml says why it differs from SONAME).
set(built ${release_dir}/libvelmor_runtime_workspace.so)
execute_process(
  COMMAND ${NM} -D --defined-only --format=just-symbols ${built}
  RESULT_VARIABLE nm_rc
  OUTPUT_VARIABLE exported
  ERROR_VARIABLE nm_err)
if(NOT nm_rc EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${built}:\n${nm_err}")
endif()
string(REGEX REPLACE "\n$" "" exported "${exported}")
string(REPLACE "\n" ";" exported "${exported}")
set(foreign ${exported})
list(FILTER foreign EXCLUDE REGEX "^v[bf]_")
if(foreign)
  message(FATAL_ERROR "${SONAME} exports more than the vb_ and vf_ functions: ${foreign}")
endif()

file(COPY_FILE ${built} ${OUTPUT} ONLY_IF_DIFFERENT)
