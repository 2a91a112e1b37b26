include(CMakePackageConfigHelpers)

install(TARGETS VeskPublicHeaders KeldaData VeskCore VeskWorkspace
    EXPORT VeskWorkspaceTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Include/Vesk DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(VESK_BUILD_TOOLS)
    install(TARGETS vesk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(NOT WIN32)
        # vesk serve starts the server from the tool's own folder.
        install(TARGETS vesk-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        install(FILES ${PROJECT_SOURCE_DIR}/scripts/vesk-completion.bash
                DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vesk)
    endif()
endif()

install(EXPORT VeskWorkspaceTargets NAMESPACE VeskWorkspace::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/VeskWorkspace)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VeskWorkspaceConfig.cmake.in
    ${PROJECT_BINARY_DIR}/VeskWorkspaceConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/VeskWorkspace)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VeskWorkspaceConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VeskWorkspaceConfig.cmake ${PROJECT_BINARY_DIR}/VeskWorkspaceConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/VeskWorkspace)
