# The Debian package qorvel_1.03-1_<arch>.deb, built by CPack from the
# install rules: the tool and its manual page, the shared library and the
# SQLite extension, and the development files (headers, static library,
# CMake package, qorvel.pc). Its dependencies are those of the files it
# holds, found by dpkg-shlibdeps. scripts/package-deb.sh builds it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qorvel)
set(CPACK_PACKAGE_VENDOR "QORVEL")
# The version the product carries in its version resource.
set(CPACK_PACKAGE_VERSION 1.03)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "QORVEL report functions: library, tool and SQLite extension")
set(CPACK_PACKAGE_DESCRIPTION
  "24 report functions that print phone numbers, ZIP codes, Social Security numbers,\n\
names, addresses and durations in a fixed house style, and read figures from a\n\
client-billing database (Jet .mdb or SQLite). The qorvel command-line tool, the\n\
shared library with its headers, CMake package and pkg-config file, and the SQLite\n\
extension qorvel_sqlite.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "QORVEL developers <qorvel@example.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for libqorvel.so.1 and the ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)
