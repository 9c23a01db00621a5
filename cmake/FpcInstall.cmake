# 'cmake --install' places the two static libraries, the headers and a CMake package, so that
# another project builds against the library with
#     find_package(FlashPlayerControl CONFIG REQUIRED)
#     target_link_libraries(app PRIVATE FlashPlayerControl::FlashPlayerControl)
# and gets the include directories, system libraries, definitions and C++17 along with it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(FPC_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/FlashPlayerControl)

set_target_properties(fpc_platform PROPERTIES EXPORT_NAME platform)
install(TARGETS FlashPlayerControl framework fpc_platform
        EXPORT FlashPlayerControlTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The headers keep their folders: they include each other by paths from the project root.
install(DIRECTORY FlashPlayerControl framework
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
install(FILES ${CMAKE_BINARY_DIR}/generated/FlashPlayerControl/Version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/FlashPlayerControl)

install(EXPORT FlashPlayerControlTargets
        NAMESPACE FlashPlayerControl::
        DESTINATION ${FPC_PACKAGE_DIR})
configure_package_config_file(cmake/FlashPlayerControlConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/FlashPlayerControlConfig.cmake
  INSTALL_DESTINATION ${FPC_PACKAGE_DIR})
# Same major version is compatible; the pointer size must match (an x86 program cannot use
# the x64 libraries), which the generated file checks.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/FlashPlayerControlConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/FlashPlayerControlConfig.cmake
              ${CMAKE_BINARY_DIR}/package/FlashPlayerControlConfigVersion.cmake
        DESTINATION ${FPC_PACKAGE_DIR})

# The test command checks the package as a user's project consumes it.
if(FPC_WINDOWS AND BUILD_TESTING)
  set(consumer_run)
  if(FPC_RUN_WINDOWS_TESTS)
    string(REPLACE "/" "\\" module "Z:${REFPLAYER_MODULE_DIR}/refplayer.dll")
    # The emulator is a list (script and prefix); it travels as one argument.
    string(REPLACE ";" "|" emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
    set(consumer_run "-DEMULATOR=${emulator}" "-DMODULE=${module}")
  endif()
  add_test(NAME package_consumer
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
                   -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE} -DWORK_DIR=${CMAKE_BINARY_DIR}/consumer-test
                   ${consumer_run} -P ${CMAKE_SOURCE_DIR}/cmake/ConsumerTest.cmake)
  set_tests_properties(package_consumer PROPERTIES TIMEOUT 600)
endif()
