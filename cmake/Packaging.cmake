# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: cpack -G DEB in the build directory.
set(CPACK_PACKAGE_NAME tavi)
set(CPACK_PACKAGE_VENDOR "The TAVI developers")
set(CPACK_PACKAGE_CONTACT "The TAVI developers <tavi@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "program for CW NMR and ESR spectrometer")
set(CPACK_PACKAGE_DESCRIPTION
  "Control, data acquisition and processing for a continuous-wave NMR and ESR
spectrometer on a serial line, with a spectrometer simulator (tavi-sim) and a
command-line reader for its data files (tavi-dcw).")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (Qt 6, QCustomPlot, libsndfile, ALSA), as
# dpkg-shlibdeps finds them; the desktop integration's caches are refreshed by
# the triggers of the packages that own them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The analysis library's numerics (GSL, libcerf), named as well so that a
# build without dpkg-shlibdeps still declares them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgsl27, libcerf1")
include(CPack)
