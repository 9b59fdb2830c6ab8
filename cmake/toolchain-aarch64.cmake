# Cross build for 64-bit Arm Linux (the robot cells' boards) on an x86_64
# Debian with the packages of `scripts/setup --for aarch64`:
#
#   cmake --preset aarch64
#
# Debian's cross compilers, the arm64 libraries from Debian's multiarch
# folders, Rust's aarch64-unknown-linux-gnu target, and qemu-aarch64 as the
# emulator through which ctest and the build run the programs made here.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(VELMOR_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${VELMOR_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VELMOR_CROSS_TRIPLE}-g++)
# Multiarch: packages' CMake files and libraries for arm64 lie under
# /usr/lib/aarch64-linux-gnu beside the host's, and the architecture
# independent ones (JSON, CLI11) under /usr/share and /usr/lib/cmake. The
# library architecture keeps CMake out of the host's x86_64-linux-gnu folders;
# programs (cargo, rustc, the code generators) are the host's.
set(CMAKE_LIBRARY_ARCHITECTURE ${VELMOR_CROSS_TRIPLE})
# yaml-cpp's arm64 -dev package cannot be installed beside the host's:
# scripts/setup unpacks it (VELMOR_ARM64_YAML_CPP) for this build to find.
if(DEFINED ENV{VELMOR_ARM64_YAML_CPP})
  set(VELMOR_ARM64_YAML_CPP $ENV{VELMOR_ARM64_YAML_CPP})
else()
  set(VELMOR_ARM64_YAML_CPP $ENV{HOME}/.cache/velmorqrk/yaml-cpp-arm64)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${VELMOR_CROSS_TRIPLE} / ${VELMOR_ARM64_YAML_CPP})
# Linked statically, so that the programs need no arm64 libyaml-cpp to run.
set(VELMOR_STATIC_YAML_CPP ON CACHE BOOL "" FORCE)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Rust: our crates for the same target, linked by the cross compiler.
set(VELMOR_RUST_TARGET aarch64-unknown-linux-gnu CACHE STRING "Rust target triple of our crates")
set(VELMOR_RUST_LINKER ${VELMOR_CROSS_TRIPLE}-gcc CACHE STRING "Linker cargo uses for VELMOR_RUST_TARGET")

# Debian 13's static qemu-aarch64 (Debian 12's refuses zenoh's multicast
# socket option), where scripts/setup puts it, else one on the PATH.
find_program(VELMOR_QEMU_AARCH64 qemu-aarch64
  HINTS $ENV{VELMOR_QEMU_DIR}/bin $ENV{HOME}/.cache/velmorqrk/qemu/bin
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
# The programs load the arm64 C library and C++ runtime that Debian's
# multiarch installs (libc6:arm64 and its loader /lib/ld-linux-aarch64.so.1,
# pulled in by the arm64 -dev packages), as on the boards. (With qemu's -L
# /usr/aarch64-linux-gnu, the cross compiler's copies, zenoh's runtime spun
# at start and never opened its session.)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMOR_QEMU_AARCH64})
