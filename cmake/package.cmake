# Release packages, made by `cmake --build --preset win64 --target package` in the build folder:
# Quenvix-<version>-win64.zip (portable), Quenvix-<version>-setup.exe (per-user NSIS installer) and
# the winget and scoop manifests that point at them. The version is project()'s.
# The program shows its own version text (src/core/product.h); a release whose packages say another
# version than the program would confuse its users.
file(STRINGS ${CMAKE_SOURCE_DIR}/src/core/product.h QUENVIX_SHOWN_VERSION REGEX "kVersion = ")
string(REGEX REPLACE ".*kVersion = \"([^\"]*)\".*" "\\1" QUENVIX_SHOWN_VERSION "${QUENVIX_SHOWN_VERSION}")
if(NOT QUENVIX_SHOWN_VERSION STREQUAL PROJECT_VERSION)
    message(WARNING "project() says version ${PROJECT_VERSION}, the program shows ${QUENVIX_SHOWN_VERSION}")
endif()

set(QUENVIX_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(QUENVIX_STAGE_DIR ${CMAKE_BINARY_DIR}/package-stage)
set(QUENVIX_ZIP ${CMAKE_BINARY_DIR}/Quenvix-${PROJECT_VERSION}-win64.zip)
set(QUENVIX_SETUP ${CMAKE_BINARY_DIR}/Quenvix-${PROJECT_VERSION}-setup.exe)
set(QUENVIX_MANIFEST_DIR ${CMAKE_BINARY_DIR}/manifests)

# Windows users open README.txt in Notepad: CRLF line ends.
configure_file(${QUENVIX_PACKAGING_DIR}/README.txt.in ${QUENVIX_STAGE_DIR}/README.txt @ONLY
               NEWLINE_STYLE CRLF)

# Debian's nsis (scripts/lib.sh installs it); when it is missing the installer step says so.
find_program(QUENVIX_MAKENSIS makensis)
if(NOT QUENVIX_MAKENSIS)
    set(QUENVIX_MAKENSIS makensis)
endif()

add_custom_command(
    OUTPUT ${QUENVIX_ZIP}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quenvix> ${QUENVIX_STAGE_DIR}/quenvix.exe
    COMMAND ${CMAKE_COMMAND} -E rm -f ${QUENVIX_ZIP}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${QUENVIX_ZIP} --format=zip quenvix.exe README.txt
    WORKING_DIRECTORY ${QUENVIX_STAGE_DIR}
    DEPENDS quenvix ${QUENVIX_STAGE_DIR}/README.txt
    COMMENT "Portable zip ${QUENVIX_ZIP}"
    VERBATIM)

add_custom_command(
    OUTPUT ${QUENVIX_SETUP}
    COMMAND ${QUENVIX_MAKENSIS} -V2 -NOCD
            -DVERSION=${PROJECT_VERSION} -DVERSION_QUAD=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0
            -DEXE=$<TARGET_FILE:quenvix> -DREADME=${QUENVIX_STAGE_DIR}/README.txt
            -DICON=${CMAKE_SOURCE_DIR}/src/win/res/quenvix.ico -DOUTFILE=${QUENVIX_SETUP}
            ${QUENVIX_PACKAGING_DIR}/quenvix.nsi
    DEPENDS quenvix ${QUENVIX_STAGE_DIR}/README.txt ${QUENVIX_PACKAGING_DIR}/quenvix.nsi
    COMMENT "Installer ${QUENVIX_SETUP}"
    VERBATIM)

set(QUENVIX_MANIFEST_TEMPLATES
    ${QUENVIX_PACKAGING_DIR}/winget/Tarmel.Quenvix.yaml.in
    ${QUENVIX_PACKAGING_DIR}/winget/Tarmel.Quenvix.installer.yaml.in
    ${QUENVIX_PACKAGING_DIR}/winget/Tarmel.Quenvix.locale.en-US.yaml.in
    ${QUENVIX_PACKAGING_DIR}/scoop/quenvix.json.in)
add_custom_command(
    OUTPUT ${QUENVIX_MANIFEST_DIR}/scoop/quenvix.json
    COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION} -DZIP=${QUENVIX_ZIP} -DSETUP=${QUENVIX_SETUP}
            -DTEMPLATES=${QUENVIX_PACKAGING_DIR} -DOUT=${QUENVIX_MANIFEST_DIR}
            -P ${QUENVIX_PACKAGING_DIR}/manifests.cmake
    DEPENDS ${QUENVIX_ZIP} ${QUENVIX_SETUP} ${QUENVIX_MANIFEST_TEMPLATES}
            ${QUENVIX_PACKAGING_DIR}/manifests.cmake
    COMMENT "winget and scoop manifests in ${QUENVIX_MANIFEST_DIR}"
    VERBATIM)

add_custom_target(package DEPENDS ${QUENVIX_ZIP} ${QUENVIX_SETUP} ${QUENVIX_MANIFEST_DIR}/scoop/quenvix.json)
