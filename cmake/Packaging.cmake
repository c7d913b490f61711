# Debian packages, one per install component:
#   qarndiag                 the program, its menu entry, icons and metadata
#   qarndiag-standin-reader  the stand-in reader library libnorvane.so
#   qarndiag-pcsc-reader     the reader library libnorvane.so on pcsc-lite
# The program only recommends a reader library, so that a maker's own
# library, or the one for PC/SC readers, can take the stand-in's place.
#
#   cpack -G DEB --config <build>/CPackConfig.cmake
# writes them into <build>/packages.

if(QARN_SANITIZE)
    # Sanitized programs need the sanitizer run-time and its options: they
    # are for testing, never for installing.
    message(STATUS "QARN_SANITIZE is ON: no packages are set up")
    return()
endif()

# Each package's /usr/share/doc/<package>/ holds its copyright file, as
# Debian policy asks; the program's also holds the README, to which its
# manual page points, and the command line's and monitoring's guides.
set(QARN_DOC_PACKAGES "app:qarndiag" "standin:qarndiag-standin-reader")
if(TARGET norvane_pcsc)
    list(APPEND QARN_DOC_PACKAGES "pcsc:qarndiag-pcsc-reader")
endif()
foreach(entry IN LISTS QARN_DOC_PACKAGES)
    string(REPLACE ":" ";" entry "${entry}")
    list(GET entry 0 component)
    list(GET entry 1 package)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md
              ${PROJECT_SOURCE_DIR}/docs/command-line.md
              ${PROJECT_SOURCE_DIR}/docs/monitoring.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/qarndiag COMPONENT app)

set(CPACK_PACKAGE_NAME qarndiag)
set(CPACK_PACKAGE_VENDOR "QarnDiag developers")
set(CPACK_PACKAGE_CONTACT "QarnDiag developers <dev@qarndiag.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL app standin)
if(TARGET norvane_pcsc)
    list(APPEND CPACK_COMPONENTS_ALL pcsc)
endif()
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "QarnDiag developers <dev@qarndiag.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.ardanel.example/")
# The libraries each package links against, found by dpkg-shlibdeps.  The
# reader library is opened at run time, not linked, so it is not among them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_APP_PACKAGE_NAME qarndiag)
# Creates the system user of qarndiag-textfile.service.
set(CPACK_DEBIAN_APP_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/resources/systemd/postinst)
set(CPACK_DEBIAN_APP_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS
    "qarndiag-standin-reader | qarndiag-pcsc-reader | norvane-reader-library")
# The first line of a description is its summary.
set(CPACK_DEBIAN_APP_DESCRIPTION
"Configure and check the link to a Qarn contactless reader
QarnDiag lets a technician configure and check the communication between
software that uses the Norvane reader API and a Qarn contactless smart-card
reader: assign the reader to a serial port or to direct USB access, test the
link, show the reader's product name, version and features, poll for cards
and measure how fast the reader answers.
.
It needs a Norvane reader library (libnorvane.so) in the default library
search path: the one from the reader's maker, the one for PC/SC readers
from the package qarndiag-pcsc-reader, or the stand-in from the package
qarndiag-standin-reader.")

set(CPACK_DEBIAN_STANDIN_PACKAGE_NAME qarndiag-standin-reader)
set(CPACK_DEBIAN_STANDIN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_STANDIN_PACKAGE_PROVIDES norvane-reader-library)
# Any other package that installs libnorvane.so, such as a maker's library,
# takes its place rather than sharing it.
set(CPACK_DEBIAN_STANDIN_PACKAGE_CONFLICTS norvane-reader-library)
set(CPACK_DEBIAN_STANDIN_DESCRIPTION
"Stand-in Norvane reader library for QarnDiag
A libnorvane.so that simulates one Qarn contactless reader, so that QarnDiag
can be tried and demonstrated without a reader.  What the simulated reader
answers is set by a scenario file named in the environment variable
NORVSIM_SCENARIO.  Remove this package to use the reader maker's library.")

set(CPACK_DEBIAN_PCSC_PACKAGE_NAME qarndiag-pcsc-reader)
set(CPACK_DEBIAN_PCSC_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PCSC_PACKAGE_PROVIDES norvane-reader-library)
set(CPACK_DEBIAN_PCSC_PACKAGE_CONFLICTS norvane-reader-library)
# The pcsc-lite client library comes through dpkg-shlibdeps; the daemon is
# only needed where a reader is plugged in.
set(CPACK_DEBIAN_PCSC_PACKAGE_RECOMMENDS pcscd)
set(CPACK_DEBIAN_PCSC_DESCRIPTION
"Norvane reader library for PC/SC readers, for QarnDiag
A libnorvane.so that drives any contactless reader that the PC/SC daemon
pcscd knows (CCID for almost every USB reader), so that QarnDiag lists the
readers, opens one, shows what it is, reads cards' UIDs and types and times
real exchanges.  It takes the place of the stand-in reader library.")

include(CPack)
