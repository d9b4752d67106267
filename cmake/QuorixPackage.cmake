# The Debian package: `cpack -G DEB` in a build folder makes quorix-sdk_<version>_<arch>.deb
# with everything `cmake --install` puts in place, under /usr.
set(CPACK_PACKAGE_NAME "quorix-sdk")
set(CPACK_PACKAGE_VENDOR "Quorix")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Host SDK for Quorix time-of-flight depth cameras")
set(CPACK_PACKAGE_DESCRIPTION
  "libquorix_api finds Quorix depth cameras (USB and network), opens them, streams depth, IR\n\
and colour frames and turns depth into 3-D points. The package holds the library, its C\n\
header and C++ wrapper, CMake and pkg-config files, quorix-cli, the quorix-camsim\n\
simulated camera, the Python package and example configuration files.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorix SDK team <sdk@quorix.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION "libs")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorix.invalid/sdk")
# The shared-library dependencies are read off the binaries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, python3-numpy, pkg-config")
set(CPACK_DEBIAN_COMPRESSION_TYPE "gzip")
# The udev rule (udev/) takes effect on cameras already plugged in.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/cmake/deb/postinst")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
