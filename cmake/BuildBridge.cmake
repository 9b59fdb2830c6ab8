# Build step of a Rust static library of ours (see RustBridge.cmake): the
# bridge, or qrk's library over it. Run with cmake -P:
#   -DCARGO= -DCRATE_DIR= -DCRATE=<library name> -DRELATIVE_DIR=<crate folder in the checkout> -DTARGET_DIR= -DOUTPUT=
#   -DNATIVE_LIBS=<comma separated> [-DRUST_TARGET=<triple> -DRUST_LINKER=<its linker>]
# Runs cargo on the shared target directory and copies our library into the
# build tree, both under one lock, so that a concurrent build of another
# checkout cannot slip its library in between.
cmake_minimum_required(VERSION 3.22)
string(REPLACE "," ";" NATIVE_LIBS "${NATIVE_LIBS}")
file(MAKE_DIRECTORY ${TARGET_DIR})
file(LOCK ${TARGET_DIR}/velmor-bridge.lock GUARD PROCESS TIMEOUT 3600)

# cargo names our crate's build alike in every checkout and tells it stale by
# file times alone, so a checkout whose sources are older than another
# checkout's last build would take that build as its own. The crate's path
# among the arguments after `--` (a path remapping that changes nothing, as
# rustc sees relative paths) enters cargo's fingerprint: a build that another
# checkout made last is rebuilt. (A crate that depends on the bridge needs
# nothing more for it: the bridge lies outside that crate's folder, so cargo
# keys the bridge by its absolute path, the checkout's own.)

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
# between the two rebuild zenoh. cargo always sees them unset.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX --unset=CFLAGS --unset=CXXFLAGS --unset=AR
          --unset=LDFLAGS CARGO_TARGET_DIR=${TARGET_DIR} ${linker_setting}
          ${CARGO} rustc --release --locked --lib --crate-type staticlib ${target_arguments}
          -- --print native-static-libs
          --remap-path-prefix=${CRATE_DIR}=${RELATIVE_DIR}
  WORKING_DIRECTORY ${CRATE_DIR}
  RESULT_VARIABLE cargo_rc
  ERROR_VARIABLE cargo_err)
if(NOT cargo_rc EQUAL 0)
  message(FATAL_ERROR "cargo failed to build ${CRATE}:\n${cargo_err}")
endif()

# cargo reports the native libraries whenever it compiles the crate: a library
# that the configuration does not link would fail the link later, obscurely.
if(cargo_err MATCHES "native-static-libs: ([^\n]*)")
  separate_arguments(needed UNIX_COMMAND "${CMAKE_MATCH_1}")
  set(missing "")
  foreach(library IN LISTS needed)
    if(NOT library IN_LIST NATIVE_LIBS)
      list(APPEND missing ${library})
    endif()
  endforeach()
  if(missing)
    message(FATAL_ERROR "${CRATE} needs native libraries that this build tree does not link: ${missing}; "
                        "configure again with -UVELMOR_BRIDGE_NATIVE_LIBS")
  endif()
endif()

file(COPY_FILE ${release_dir}/lib${CRATE}.a ${OUTPUT} ONLY_IF_DIFFERENT)
