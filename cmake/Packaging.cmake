# The installed tree and the Debian package made from it. `cmake --install`
# (make install) and CPack (make package) lay out the same files, so a build
# from source and the package behave alike.

set(KELVO_APP_ID com.morvane.KelvoViewer)
set(KELVO_HOMEPAGE https://morvane.com/kelvo-viewer)
# The day this version is released, for the AppStream data and the package's
# changelog; changed together with the version in project().
set(KELVO_RELEASE_DATE 2026-12-08)
set(KELVO_RELEASE_DATE_RFC2822 "Tue, 08 Dec 2026 12:00:00 +0000")
set(KELVO_PACKAGE_MAINTAINER
    "Morvane Kelvo Viewer team <kelvo-viewer@morvane.com>"
    CACHE STRING "The package's Maintainer field")
# The system's udev rules folder below the prefix. The package puts the rule
# where the distribution's own rules are, so an administrator's copy in
# /etc/udev/rules.d still overrides it.
set(KELVO_INSTALL_UDEVRULESDIR
    lib/udev/rules.d
    CACHE STRING "Where the camera access rule is installed, relative to the prefix")
set(KELVO_INSTALL_HELPERDIR ${CMAKE_INSTALL_LIBEXECDIR}/kelvo-viewer)
set(KELVO_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/kelvo-viewer)

set(packaging_source_dir ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_build_dir ${PROJECT_BINARY_DIR}/packaging)
set(share_source_dir ${PROJECT_SOURCE_DIR}/share)

# Whatever the umask of the person installing, the tree is world-readable.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)

install(TARGETS kelvo-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS boomerel RUNTIME DESTINATION ${KELVO_INSTALL_HELPERDIR})
# The viewer looks for its manual beside its own folder, in
# <bin>/../share/kelvo-viewer/help, so the tree stays relocatable.
install(DIRECTORY ${PROJECT_BINARY_DIR}/share/kelvo-viewer/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvo-viewer/help)
# The same file that is built into the program, which compares the two byte
# for byte.
install(FILES ${packaging_source_dir}/70-kelvo-quadrel.rules DESTINATION ${KELVO_INSTALL_UDEVRULESDIR})

install(FILES ${share_source_dir}/applications/${KELVO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The AppStream data gives the screenshot's size, read from the PNG itself so
# that the two never disagree.
set(screenshot ${share_source_dir}/screenshots/main-window.png)
file(READ ${screenshot} png_size OFFSET 16 LIMIT 8 HEX)
string(SUBSTRING ${png_size} 0 8 width_hex)
string(SUBSTRING ${png_size} 8 8 height_hex)
math(EXPR KELVO_SCREENSHOT_WIDTH "0x${width_hex}")
math(EXPR KELVO_SCREENSHOT_HEIGHT "0x${height_hex}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${screenshot})
configure_file(${share_source_dir}/metainfo/${KELVO_APP_ID}.metainfo.xml.in
               ${packaging_build_dir}/${KELVO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${packaging_build_dir}/${KELVO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon: the drawing, and pictures of it at the sizes that desktops look up
# before they fall back to scaling the drawing themselves.
set(icon_source ${share_source_dir}/icons/${KELVO_APP_ID}.svg)
install(FILES ${icon_source} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
find_program(KELVO_RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_pictures)
foreach(size 16 32 48 64 128 256)
  set(picture ${packaging_build_dir}/icons/${size}x${size}/${KELVO_APP_ID}.png)
  add_custom_command(
    OUTPUT ${picture}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_build_dir}/icons/${size}x${size}
    COMMAND ${KELVO_RSVG_CONVERT} --width ${size} --height ${size} --output ${picture} ${icon_source}
    DEPENDS ${icon_source}
    VERBATIM)
  list(APPEND icon_pictures ${picture})
  install(FILES ${picture} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Debian keeps manual pages and changelogs compressed, without a time stamp
# in the gzip header so that rebuilding gives the same package.
configure_file(${packaging_source_dir}/debian/changelog.in ${packaging_build_dir}/changelog @ONLY)
configure_file(${packaging_source_dir}/debian/copyright.in ${packaging_build_dir}/copyright @ONLY)
set(compressed)
foreach(pair "${packaging_source_dir}/kelvo-viewer.1|kelvo-viewer.1.gz" "${packaging_build_dir}/changelog|changelog.gz")
  string(REPLACE "|" ";" pair ${pair})
  list(GET pair 0 source)
  list(GET pair 1 name)
  add_custom_command(
    OUTPUT ${packaging_build_dir}/${name}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${source} ${packaging_build_dir}/${name}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND compressed ${packaging_build_dir}/${name})
endforeach()
install(FILES ${packaging_build_dir}/kelvo-viewer.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_build_dir}/copyright ${packaging_build_dir}/changelog.gz DESTINATION ${KELVO_INSTALL_DOCDIR})
if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${KELVO_INSTALL_DOCDIR})
endif()

add_custom_target(kelvo_install_files ALL DEPENDS ${icon_pictures} ${compressed})

# The Debian package. Library dependencies come from dpkg-shlibdeps; the
# GStreamer elements the capture and recording paths create by name are
# plugins that no library link reveals, so they are listed here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvo-viewer)
set(CPACK_PACKAGE_VENDOR Morvane)
set(CPACK_PACKAGE_CONTACT ${KELVO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for the Quadrel video magnifier")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvo Viewer shows the picture of the Quadrel, a USB video magnifier with a
turning head, in a window or full screen. It magnifies the picture over 16
levels, recolours it into 30 high-contrast modes, turns and mirrors it, draws
reading guides or a masked reading band, freezes and saves frames, and is
driven by the camera's buttons as much as by menus and keys.

The package includes the udev rule that gives the user at the seat access to
the camera's buttons and head position. With no camera attached, the viewer
shows a simulated one.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KELVO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-ugly, gstreamer1.0-libav")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec, gstreamer1.0-pipewire")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging_source_dir}/debian/postinst ${packaging_source_dir}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
