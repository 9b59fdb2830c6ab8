# `cmake --install` lays out a package that other CMake projects use with
#   find_package(velmorqrk CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE velmorqrk::velmorqrk)
# Only the public headers are installed: client/include/velmor/qrk/ and the
# error type that session and query failures throw,
# messages/include/velmor/zenoh/. The Rust
# bridge stays a second archive, libvelmor_bridge.a; velmorqrkConfig.cmake
# makes it the target velmorqrk::bridge together with the system libraries it
# needs, and velmorqrk::velmorqrk links it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VELMOR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/velmorqrk)
set(VELMOR_INSTALL_BRIDGE ${CMAKE_INSTALL_LIBDIR}/libvelmor_bridge.a)

install(TARGETS velmorqrk EXPORT velmorqrkTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/client/include/velmor ${PROJECT_SOURCE_DIR}/messages/include/velmor
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development
  FILES_MATCHING PATTERN "*.hpp")
install(FILES ${VELMOR_BRIDGE_LIB} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(EXPORT velmorqrkTargets NAMESPACE velmorqrk::
  DESTINATION ${VELMOR_INSTALL_CMAKEDIR} COMPONENT Development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/velmorqrkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/velmorqrkConfig.cmake
  INSTALL_DESTINATION ${VELMOR_INSTALL_CMAKEDIR}
  PATH_VARS VELMOR_INSTALL_BRIDGE)
# 0.x releases: a new minor version may change the API.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velmorqrkConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velmorqrkConfig.cmake ${PROJECT_BINARY_DIR}/velmorqrkConfigVersion.cmake
  DESTINATION ${VELMOR_INSTALL_CMAKEDIR} COMPONENT Development)

foreach(program IN ITEMS qrk-sim qrk)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
    # In a wheel build (scikit-build-core installs only the python component)
    # the programs go to the wheel's scripts, which pip puts on the PATH of the
    # environment that installs it.
    if(SKBUILD)
      install(TARGETS ${program} RUNTIME DESTINATION ${SKBUILD_SCRIPTS_DIR} COMPONENT python)
    endif()
  endif()
endforeach()
