# The Windows package: one ZIP per size, that a technician unzips and runs.
#   QarnDiag.exe, qarndiag-cli.exe     the window and the command line
#   Qt6*.dll, platforms/, styles/      the Qt for Windows they were built with
#   libstdc++-6.dll, libgcc_s_*.dll,   the mingw-w64 run-time
#   libwinpthread-1.dll
#   README.md, copyright               this project's
#   licenses/                          Qt's licence texts, where its source is,
#                                      and the mingw-w64 run-time's copyright
#   demo/norvane.dll                   the stand-in reader library, to copy
#                                      beside QarnDiag.exe to try the program
#
#   cpack -G ZIP --config <build>/CPackConfig.cmake
# writes <build>/packages/QarnDiag-<version>-windows-<size>.zip.

if(QARN_SANITIZE)
    return()
endif()

set(QARN_WINDOWS_SIZE ${CMAKE_SYSTEM_PROCESSOR})
if(NOT QARN_WINDOWS_SIZE MATCHES "^(x86_64|i686)$")
    message(FATAL_ERROR "The Windows package is made for x86_64 or i686, not '${QARN_WINDOWS_SIZE}'")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION . COMPONENT app)

# Qt: its libraries and the plugins the program loads (the platform and the
# system's style).
foreach(library Core Gui Widgets)
    install(FILES $<TARGET_FILE:Qt6::${library}> DESTINATION . COMPONENT app)
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms COMPONENT app)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles COMPONENT app)

# Qt's licence texts and where its source is: the Qt install of
# scripts/build_windows_qt.sh names its Debian source package in SOURCE, and
# the source lies in the cache beside it.
get_filename_component(qt_prefix "${Qt6_DIR}/../../.." ABSOLUTE)
file(GLOB qt_source_dirs "${qt_prefix}/../src/qt6-base-*")
list(GET qt_source_dirs 0 qt_source)
if(NOT EXISTS "${qt_prefix}/SOURCE" OR NOT IS_DIRECTORY "${qt_source}/LICENSES")
    message(FATAL_ERROR "Qt for Windows at ${qt_prefix} lacks its SOURCE note or its source's "
                        "LICENSES; build it with scripts/build_windows_qt.sh")
endif()
file(READ "${qt_prefix}/SOURCE" qt_source_note)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/qt-source.txt CONTENT
"Qt ${Qt6_VERSION} (Core, Gui, Widgets, the windows platform plugin and the
windowsvista style) for Windows, built with mingw-w64 from:
${qt_source_note}
Get that source with: apt-get source qt6-base (a deb-src entry for Debian 12).
Qt is licensed under the GNU Lesser General Public License version 3
(LGPL-3.0-only.txt here), or the GNU General Public License version 2 or 3;
qt-copyright.txt is the source package's own list of the copyright holders
and licences of every part, the bundled third-party code included.
")
install(FILES ${CMAKE_BINARY_DIR}/qt-source.txt
        ${qt_source}/LICENSES/LGPL-3.0-only.txt
        ${qt_source}/LICENSES/GPL-2.0-only.txt
        ${qt_source}/LICENSES/GPL-3.0-only.txt
        ${qt_source}/LICENSES/Qt-GPL-exception-1.0.txt
        DESTINATION licenses COMPONENT app)
install(FILES ${qt_source}/debian/copyright DESTINATION licenses RENAME qt-copyright.txt COMPONENT app)

# The mingw-w64 run-time of the compiler that built the programs.
if(QARN_WINDOWS_SIZE STREQUAL "i686")
    set(gcc_runtime libgcc_s_dw2-1.dll)
else()
    set(gcc_runtime libgcc_s_seh-1.dll)
endif()
foreach(runtime libstdc++-6.dll ${gcc_runtime} libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${runtime} is")
    endif()
    install(FILES ${runtime_path} DESTINATION . COMPONENT app)
endforeach()
foreach(package gcc-mingw-w64-base mingw-w64-common)
    if(EXISTS /usr/share/doc/${package}/copyright)
        install(FILES /usr/share/doc/${package}/copyright DESTINATION licenses
                RENAME ${package}-copyright.txt COMPONENT app)
    endif()
endforeach()

set(CPACK_PACKAGE_NAME QarnDiag)
set(CPACK_PACKAGE_VENDOR "QarnDiag developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGE_FILE_NAME QarnDiag-${PROJECT_VERSION}-windows-${QARN_WINDOWS_SIZE})
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_COMPONENTS_ALL app standin)
include(CPack)
