# The relocatable install folder "Kelvo Viewer.app" and the zip archive of
# it that the update host serves, with its SHA-512 beside it. The folder is
# the installed tree with the folder itself as prefix: the viewer finds its
# manual, icons and unit template relative to its own executable, and its
# own code is linked statically, so the folder runs from wherever it is
# unpacked. Built by `make bundle` after everything else is.
set(KELVO_BUNDLE_DIR ${PROJECT_BINARY_DIR}/bundle)
add_custom_target(
  bundle
  COMMAND
    ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DBUNDLE_DIR=${KELVO_BUNDLE_DIR}
    -DVERSION=${PROJECT_VERSION} -DUDEV_RULE=${PROJECT_SOURCE_DIR}/packaging/70-kelvo-quadrel.rules -P
    ${PROJECT_SOURCE_DIR}/cmake/MakeBundle.cmake
  DEPENDS kelvo-viewer boomerel kelvo_install_files kelvo_manual
  COMMENT "Building the install folder and its update archive in ${KELVO_BUNDLE_DIR}"
  VERBATIM)
