# Installation: what a client of the SDK needs on a machine without the sources.
#
#   bin/                     ambivox-regsvr, ambivox
#   lib/                     libambivox-platform.so (with its SONAME links)
#   lib/ambivox/             AmbivoxSDK.so, reached only through the runtime once registered
#   lib/pkgconfig/           ambivox.pc
#   lib/cmake/ambivox/       find_package(ambivox): the imported target ambivox::platform
#   include/ambivox/         AmbivoxSDK.h, AmbivoxIds.h
#   include/ambivox/platform the runtime's client-facing headers, in their folders, and a
#                            forwarding header at each flat path clients have included
#
# The headers include each other as "platform/<folder>/X.h" and "ambivox/X.h", relative to the
# source root and include/. Both lines resolve unchanged when include/ and include/ambivox are on
# the include path, and the runtime's headers stay out of a shared include/ under a name as
# common as "platform". A client writes #include <ambivox/AmbivoxSDK.h> and "platform/ComPtr.h".
#
# Only what a client needs is installed: creating objects, calling them early- or late-bound,
# owning strings, variants and interface pointers, handling errors, and implementing an event
# sink. The runtime's internals (the registry store, the serial and HTTP seams, the type library
# machinery modules use) stay private.
#
# Every path is relative to the prefix, so `cmake --install --prefix P` may pick any P.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ambivox_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/ambivox)
set(ambivox_module_dir ${CMAKE_INSTALL_LIBDIR}/ambivox)

# The programs find the runtime beside the prefix they are installed in, wherever that is; the
# module finds it one folder up. The build tree keeps its own paths, so tests never need an
# install.
file(RELATIVE_PATH ambivox_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set(ambivox_tools ambivox-regsvr)
if(TARGET ambivox)
    list(APPEND ambivox_tools ambivox)
endif()
set_target_properties(${ambivox_tools} PROPERTIES INSTALL_RPATH "$ORIGIN/${ambivox_bin_to_lib}")
set_target_properties(AmbivoxSDK PROPERTIES INSTALL_RPATH "$ORIGIN/..")

# Clients name the runtime ambivox::platform and get its include path and C++20 with it.
set_target_properties(ambivox-platform PROPERTIES EXPORT_NAME platform)
target_compile_features(ambivox-platform INTERFACE cxx_std_20)

install(TARGETS ambivox-platform EXPORT ambivox-targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} ${CMAKE_INSTALL_INCLUDEDIR}/ambivox)
install(TARGETS AmbivoxSDK LIBRARY DESTINATION ${ambivox_module_dir} COMPONENT runtime)
install(TARGETS ${ambivox_tools} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ambivox/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ambivox COMPONENT development
    FILES_MATCHING PATTERN "*.h")
# Closed under #include: scripts/check-install compiles each installed header on its own.
set(ambivox_client_headers
    base/Types.h base/Errors.h base/Guid.h base/HResultBoundary.h base/HResultMessage.h
    base/ThreadState.h base/CodePage.h base/WideFormat.h
    com/Unknown.h com/ComPtr.h com/ComRuntime.h com/Implements.h com/InterfaceList.h
    com/ModuleLock.h
    automation/Bstr.h automation/UniqueBstr.h automation/Variant.h automation/UniqueVariant.h
    automation/OleDate.h automation/Dispatch.h automation/TypeInfoInterfaces.h
    automation/ConnectionPointInterfaces.h automation/ErrorInfo.h)
foreach(header ${ambivox_client_headers})
    get_filename_component(folder ${header} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/platform/${header}
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ambivox/platform/${folder} COMPONENT development)
endforeach()

install(EXPORT ambivox-targets NAMESPACE ambivox:: FILE ambivox-targets.cmake
    DESTINATION ${ambivox_cmake_dir} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ambivox-config.cmake.in
    ${PROJECT_BINARY_DIR}/ambivox-config.cmake INSTALL_DESTINATION ${ambivox_cmake_dir}
    PATH_VARS ambivox_module_dir)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ambivox-config-version.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ambivox-config.cmake
    ${PROJECT_BINARY_DIR}/ambivox-config-version.cmake
    DESTINATION ${ambivox_cmake_dir} COMPONENT development)

# pkg-config: the prefix is found from the file's own place, as the package config does.
set(ambivox_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH ambivox_pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
    ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" ambivox_pc_to_prefix "${ambivox_pc_to_prefix}")
foreach(dir LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
        set(ambivox_pc_${dir} "${CMAKE_INSTALL_${dir}}")
    else()
        set(ambivox_pc_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
    endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ambivox.pc.in ${PROJECT_BINARY_DIR}/ambivox.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ambivox.pc DESTINATION ${ambivox_pc_dir}
    COMPONENT development)

# The exporter's systemd unit, naming the program where this install puts it: filled in when
# installing, so that `cmake --install --prefix P` names P's program. systemd reads units from
# lib/systemd/system under /usr and /usr/local, whatever the library folder is.
if(TARGET ambivox)
    install(CODE "
        set(AMBIVOX_PROGRAM \"${CMAKE_INSTALL_BINDIR}/ambivox\")
        if(NOT IS_ABSOLUTE \"\${AMBIVOX_PROGRAM}\")
            set(AMBIVOX_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/\${AMBIVOX_PROGRAM}\")
        endif()
        configure_file(\"${PROJECT_SOURCE_DIR}/packaging/ambivox-serve.service.in\"
            \"${PROJECT_BINARY_DIR}/packaging/ambivox-serve.service\" @ONLY)"
        COMPONENT runtime)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/ambivox-serve.service
        DESTINATION lib/systemd/system COMPONENT runtime)
endif()
