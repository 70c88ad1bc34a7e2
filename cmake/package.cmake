# Release packages, made by `cmake --build --preset win64 --target package` in the build folder:
# Quenvix-<version>-win64.zip (portable), Quenvix-<version>-setup.exe (per-user NSIS installer) and
# the winget and scoop manifests that point at them, all with project()'s version. The work is done
# by packaging/make_packages.cmake on every build of the target, because whether the packages are
# signed depends on the environment of that build (packaging/sign.sh), which no file date shows.

# The programs that ship, one list for the zip, the setup, the uninstaller, the signing and the
# manifests: a program added here goes everywhere.
set(QUENVIX_SHIPPED_TARGETS quenvix quenvix_guardian)

# Where the packages are downloaded from: the manifests, the setup's "Apps" entry and the help
# page's examples take it from here. The placeholder (a reserved name) can never be downloaded.
set(QUENVIX_PLACEHOLDER_DOWNLOAD_BASE "https://www.tarmel.example/download")
set(QUENVIX_DOWNLOAD_BASE "${QUENVIX_PLACEHOLDER_DOWNLOAD_BASE}" CACHE STRING
    "Base address of the release downloads (https://...), without the file names")
if(NOT QUENVIX_DOWNLOAD_BASE MATCHES "^https://[^/]+")
    message(FATAL_ERROR "QUENVIX_DOWNLOAD_BASE must be an https:// address, not \"${QUENVIX_DOWNLOAD_BASE}\".")
endif()
if(QUENVIX_DOWNLOAD_BASE MATCHES "\\.example(/|$)")
    message(WARNING "QUENVIX_DOWNLOAD_BASE is the placeholder ${QUENVIX_DOWNLOAD_BASE}: manifests "
                    "made from it can never install. Configure with "
                    "-DQUENVIX_DOWNLOAD_BASE=https://<your host>/<path> for a release.")
endif()

# Debian's nsis (scripts/lib.sh installs it); when it is missing the installer step says so.
find_program(QUENVIX_MAKENSIS makensis)
if(NOT QUENVIX_MAKENSIS)
    set(QUENVIX_MAKENSIS makensis)
endif()
find_program(QUENVIX_PYTHON python3)
if(NOT QUENVIX_PYTHON)
    set(QUENVIX_PYTHON python3)
endif()

set(QUENVIX_SHIPPED_FILES "")
foreach(target ${QUENVIX_SHIPPED_TARGETS})
    list(APPEND QUENVIX_SHIPPED_FILES "$<TARGET_FILE:${target}>")
endforeach()
list(JOIN QUENVIX_SHIPPED_FILES "|" QUENVIX_SHIPPED_FILES)

add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION}
            -DVERSION_QUAD=${QUENVIX_VERSION_QUAD}
            "-DPROGRAMS=${QUENVIX_SHIPPED_FILES}" -DSOURCE=${CMAKE_SOURCE_DIR} -DOUT=${CMAKE_BINARY_DIR}
            -DDOWNLOAD_BASE=${QUENVIX_DOWNLOAD_BASE} -DMAKENSIS=${QUENVIX_MAKENSIS}
            -DPYTHON=${QUENVIX_PYTHON} -P ${CMAKE_SOURCE_DIR}/packaging/make_packages.cmake
    COMMENT "Release packages"
    VERBATIM)
add_dependencies(package ${QUENVIX_SHIPPED_TARGETS})
