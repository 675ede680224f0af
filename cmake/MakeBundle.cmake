# Run by the bundle target: lays out "Kelvo Viewer.app" in BUNDLE_DIR, zips
# it and writes the archive's checksum as the update host publishes it.
set(app "${BUNDLE_DIR}/Kelvo Viewer.app")
set(archive "${BUNDLE_DIR}/kelvo-viewer-${VERSION}.zip")
file(REMOVE_RECURSE "${app}" "${archive}" "${archive}.sha512")
file(MAKE_DIRECTORY "${BUNDLE_DIR}")

execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${app}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "installing into the bundle failed")
endif()
# The access rule is built into the viewer; a copy under share/ lets an
# administrator install it by hand from the unpacked folder.
file(COPY "${UDEV_RULE}" DESTINATION "${app}/share/kelvo-viewer/udev")

foreach(required bin/kelvo-viewer libexec/kelvo-viewer/boomerel)
  if(NOT EXISTS "${app}/${required}")
    message(FATAL_ERROR "the bundle lacks ${required}")
  endif()
endforeach()

# The archive holds the folder itself, with its permissions, at its top.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf "${archive}" --format=zip "Kelvo Viewer.app"
                WORKING_DIRECTORY "${BUNDLE_DIR}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "zipping the bundle failed")
endif()
file(SHA512 "${archive}" checksum)
get_filename_component(name "${archive}" NAME)
file(WRITE "${archive}.sha512" "${checksum}  ${name}\n")
message(STATUS "Bundle: ${archive}")
