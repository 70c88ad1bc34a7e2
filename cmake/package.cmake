# Release packages, made by `cmake --build --preset win64 --target package` in the build folder:
# Quenvix-<version>-win64.zip (portable), Quenvix-<version>-setup.exe (per-user NSIS installer) and
# the winget and scoop manifests that point at them, all with project()'s version. The work is done
# by packaging/make_packages.cmake on every build of the target, because whether the packages are
# signed depends on the environment of that build (QUENVIX_SIGN_CERT), which no file date shows.

# Debian's nsis (scripts/lib.sh installs it); when it is missing the installer step says so.
find_program(QUENVIX_MAKENSIS makensis)
if(NOT QUENVIX_MAKENSIS)
    set(QUENVIX_MAKENSIS makensis)
endif()

# The setup's version resource has the four numbers of the program's (windows.cmake).
string(REPLACE "," "." QUENVIX_VERSION_QUAD "${QUENVIX_VERSION_COMMAS}")

add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION}
            -DVERSION_QUAD=${QUENVIX_VERSION_QUAD}
            -DEXE=$<TARGET_FILE:quenvix> -DSOURCE=${CMAKE_SOURCE_DIR} -DOUT=${CMAKE_BINARY_DIR}
            -DMAKENSIS=${QUENVIX_MAKENSIS} -P ${CMAKE_SOURCE_DIR}/packaging/make_packages.cmake
    COMMENT "Release packages"
    VERBATIM)
add_dependencies(package quenvix)
