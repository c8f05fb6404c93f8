# Installing QORVEL for other projects (Linux): the public headers, the
# shared and static libraries, the qorvel tool and its manual page, the
# SQLite extension, a CMake package and a pkg-config file, all under any
# prefix (`cmake --install build --prefix DIR`). Then the Debian package.
#
#   find_package(qorvel 1.3 CONFIG REQUIRED)          -> qorvel::qorvel (shared)
#   find_package(qorvel 1.3 CONFIG REQUIRED COMPONENTS static)
#                                                     -> qorvel::qorvel_static too
#   pkg-config --cflags --libs qorvel                 (--static for libqorvel.a)
#
# The installed tool links the shared library, as any other host does.
include(CMakePackageConfigHelpers)

set(QORVEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/qorvel)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/qorvel
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")

install(TARGETS qorvel_shared EXPORT qorvel-targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
set_target_properties(qorvel PROPERTIES EXPORT_NAME qorvel_static)
install(TARGETS qorvel EXPORT qorvel-static-targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS qorvel_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET qorvel_sqlite)
  # In the library folder, so that `.load qorvel_sqlite` finds it by name.
  install(TARGETS qorvel_sqlite LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

install(EXPORT qorvel-targets NAMESPACE qorvel:: DESTINATION ${QORVEL_INSTALL_CMAKEDIR})
install(EXPORT qorvel-static-targets NAMESPACE qorvel:: DESTINATION ${QORVEL_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/qorvel-config.cmake.in
  ${PROJECT_BINARY_DIR}/qorvel-config.cmake INSTALL_DESTINATION ${QORVEL_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qorvel-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qorvel-config.cmake
              ${PROJECT_BINARY_DIR}/qorvel-config-version.cmake
        DESTINATION ${QORVEL_INSTALL_CMAKEDIR})

# qorvel.pc finds its prefix from its own folder, so the installed tree can
# be moved.
file(RELATIVE_PATH QORVEL_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
set(QORVEL_PC_LIBPQ "")
if(QORVEL_POSTGRESQL)
  set(QORVEL_PC_LIBPQ "-lpq ")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/qorvel.pc.in ${PROJECT_BINARY_DIR}/qorvel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qorvel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The manual page, written from the tool's own --help texts at build time.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/qorvel.1
  COMMAND ${CMAKE_COMMAND} -DQORVEL=$<TARGET_FILE:qorvel_cli> -DOUT=${PROJECT_BINARY_DIR}/qorvel.1
          -DVERSION=${PROJECT_VERSION} -P ${CMAKE_CURRENT_LIST_DIR}/QorvelManPage.cmake
  DEPENDS qorvel_cli ${CMAKE_CURRENT_LIST_DIR}/QorvelManPage.cmake
  COMMENT "Writing the manual page qorvel.1")
add_custom_target(qorvel_man ALL DEPENDS ${PROJECT_BINARY_DIR}/qorvel.1)
install(FILES ${PROJECT_BINARY_DIR}/qorvel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

include(QorvelPackage)
