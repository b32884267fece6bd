# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: cpack -G DEB in the build directory. Included by
# tavi_finish_programs once every program is declared.
set(CPACK_PACKAGE_NAME tavi)
set(CPACK_PACKAGE_VENDOR "The TAVI developers")
set(CPACK_PACKAGE_CONTACT "${TAVI_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "program for CW NMR and ESR spectrometer")
set(CPACK_PACKAGE_DESCRIPTION
  "Control, data acquisition and processing for a continuous-wave NMR and ESR
spectrometer on a serial line. The package holds:
${TAVI_PROGRAMS_DESCRIBED}")
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
# A laboratory's own default setup survives upgrades: dpkg keeps an edited
# conffile (and asks when the shipped one changed too).
set(conffiles ${PROJECT_BINARY_DIR}/debian/conffiles)
file(WRITE ${conffiles} "/etc/tavi/STANDARD.CFG\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${conffiles})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
