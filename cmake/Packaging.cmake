# The Debian package, built by scripts/package.sh with cpack. Its dependencies
# come from dpkg-shlibdeps, plus what the programs load at run time without
# linking it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tarnwick developers")
set(CPACK_PACKAGE_CONTACT "The Tarnwick developers <maintainers@tarnwick.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "data logger for 1-Wire temperature sensors behind a network adapter")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarnwick polls 12 or 16 1-Wire temperature sensors through the web pages of a
network 1-Wire HTTP adapter, checks every scratchpad reply with the 1-Wire
CRC-8, shows the raw temperature words and appends one line per pass to a
log file of the user's choice. A roster file names the user's own sensors,
with names and calibration offsets.

A systemd service (installed disabled) logs without a window from boot on,
and every pass can be published to an MQTT broker, with Home Assistant
discovery. The package also holds tarnwick-report, which turns a log into a
summary in degrees, a CSV table or a chart, and tarnwick-simadapter, a
simulated adapter for trying the logger without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows need Qt's X11/Wayland platform plugins, which nothing links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The service's log is rotated weekly by logrotate.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "logrotate")
# The About window's "System Info..." starts hardinfo where it is installed.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "hardinfo")

# The system-information store, the service's settings and its log rotation
# are configuration the administrator may edit: dpkg keeps local changes on
# upgrade.
file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles
     "${TARNWICK_SYSINFO_DIR}/SystemInformation.conf\n"
     "${TARNWICK_DEFAULT_FILE}\n"
     "${TARNWICK_LOGROTATE_FILE}\n")
# The maintainer scripts make the service's user and tell systemd of the unit
# (without enabling or starting it).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/debian/conffiles ${CMAKE_SOURCE_DIR}/data/service/postinst
    ${CMAKE_SOURCE_DIR}/data/service/prerm ${CMAKE_SOURCE_DIR}/data/service/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
