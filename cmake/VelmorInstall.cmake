# `cmake --install` lays out a package that other CMake projects use with
#   find_package(velmorqrk CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE velmorqrk::velmorqrk)
# Only the public headers are installed: the Client
# (client/include/velmor/qrk/), the records it hands out
# (records/include/velmor/qrk/) and the error type that session and query
# failures throw (messages/include/velmor/zenoh/). The Rust
# runtime is the shared library libvelmor_runtime.so beside the archive;
# velmorqrkConfig.cmake makes it the target velmorqrk::runtime, which
# velmorqrk::velmorqrk links, and the installed programs find it through
# their RPATH, relative to themselves.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VELMOR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/velmorqrk)
set(VELMOR_INSTALL_RUNTIME ${CMAKE_INSTALL_LIBDIR}/${VELMOR_RUNTIME_SONAME})

install(TARGETS velmorqrk EXPORT velmorqrkTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/client/include/velmor ${PROJECT_SOURCE_DIR}/records/include/velmor
                  ${PROJECT_SOURCE_DIR}/messages/include/velmor
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development
  FILES_MATCHING PATTERN "*.hpp")
install(FILES ${VELMOR_RUNTIME_LIB} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime)
install(EXPORT velmorqrkTargets NAMESPACE velmorqrk::
  DESTINATION ${VELMOR_INSTALL_CMAKEDIR} COMPONENT Development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/velmorqrkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/velmorqrkConfig.cmake
  INSTALL_DESTINATION ${VELMOR_INSTALL_CMAKEDIR}
  PATH_VARS VELMOR_INSTALL_RUNTIME)
# 0.x releases: a new minor version may change the API.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velmorqrkConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velmorqrkConfig.cmake ${PROJECT_BINARY_DIR}/velmorqrkConfigVersion.cmake
  DESTINATION ${VELMOR_INSTALL_CMAKEDIR} COMPONENT Development)

# The programs find the runtime library relative to themselves: in an
# install, in the library folder beside theirs; in a wheel (scikit-build-core
# installs only the python component), beside them, in the module's runtime
# folder, where the wheel's console scripts exec them.
file(RELATIVE_PATH _velmor_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
foreach(program IN ITEMS qrk-sim qrk)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${_velmor_bin_to_lib};$ORIGIN")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
    if(SKBUILD)
      install(TARGETS ${program} RUNTIME DESTINATION ${VELMOR_WHEEL_RUNTIME_DIR} COMPONENT python)
    endif()
  endif()
endforeach()
