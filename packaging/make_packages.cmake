# Makes the release packages from the built program, run by the "package" target
# (cmake/package.cmake) and by the signing test with an output folder of its own:
#   cmake -DVERSION=1.2 -DVERSION_QUAD=1.2.0.0 -DEXE=quenvix.exe -DSOURCE=<source dir> -DOUT=<dir>
#         [-DMAKENSIS=makensis] -P make_packages.cmake
# OUT receives Quenvix-<version>-win64.zip (portable), Quenvix-<version>-setup.exe (the per-user
# installer), manifests/ (winget and scoop, with the addresses and SHA-256 of both) and
# package-stage/ (the program and README.txt as shipped).
#
# Signed when QUENVIX_SIGN_CERT names a certificate (see packaging/sign.sh and the README): the
# program, then the uninstaller and the setup while makensis makes them. Everything is made in a
# folder of its own first and moved into OUT only when all of it succeeded; the packages of an
# earlier run are removed at the start, so a failed signing leaves no package, signed or not.
foreach(required VERSION VERSION_QUAD EXE SOURCE OUT)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "make_packages.cmake needs -D${required}=...")
    endif()
endforeach()
if(NOT DEFINED MAKENSIS)
    set(MAKENSIS makensis)
endif()

set(PACKAGING ${SOURCE}/packaging)
set(ZIP_NAME Quenvix-${VERSION}-win64.zip)
set(SETUP_NAME Quenvix-${VERSION}-setup.exe)
set(WORK ${OUT}/package-work)
set(STAGE ${WORK}/package-stage)

file(REMOVE_RECURSE ${WORK} ${OUT}/${ZIP_NAME} ${OUT}/${SETUP_NAME} ${OUT}/manifests
     ${OUT}/package-stage)
file(MAKE_DIRECTORY ${STAGE})

function(give_up message)
    file(REMOVE_RECURSE ${WORK})
    message(FATAL_ERROR "${message}\nNo package was made.")
endfunction()

# ---- signing: asked for by the environment of this run ---------------------------------------
set(SIGN OFF)
if(NOT "$ENV{QUENVIX_SIGN_CERT}" STREQUAL "")
    if(NOT EXISTS "$ENV{QUENVIX_SIGN_CERT}")
        give_up("QUENVIX_SIGN_CERT names $ENV{QUENVIX_SIGN_CERT}, which does not exist.")
    endif()
    if(NOT DEFINED ENV{QUENVIX_SIGN_PASSWORD})
        give_up("QUENVIX_SIGN_CERT is set but QUENVIX_SIGN_PASSWORD is not.")
    endif()
    find_program(OSSLSIGNCODE osslsigncode)
    if(NOT OSSLSIGNCODE)
        give_up("Signing needs osslsigncode (Debian package osslsigncode; scripts/lib.sh installs it).")
    endif()
    set(SIGN ON)
    if("$ENV{QUENVIX_SIGN_TIMESTAMP_URL}" STREQUAL "")
        message(WARNING "QUENVIX_SIGN_TIMESTAMP_URL is not set: the signatures carry no time stamp "
                        "and stop being valid when the certificate expires.")
        message(STATUS "Signing with $ENV{QUENVIX_SIGN_CERT}, no time stamp")
    else()
        message(STATUS "Signing with $ENV{QUENVIX_SIGN_CERT}, time stamp from $ENV{QUENVIX_SIGN_TIMESTAMP_URL}")
    endif()
else()
    message(STATUS "Not signed: set QUENVIX_SIGN_CERT and QUENVIX_SIGN_PASSWORD to sign the "
                   "packages (README, \"Signing a release\").")
endif()

# ---- the program and its README -----------------------------------------------------------------
file(COPY_FILE ${EXE} ${STAGE}/quenvix.exe)
# Windows users open README.txt in Notepad: CRLF line ends.
set(PROJECT_VERSION ${VERSION})
configure_file(${PACKAGING}/README.txt.in ${STAGE}/README.txt @ONLY NEWLINE_STYLE CRLF)
if(SIGN)
    execute_process(COMMAND bash ${PACKAGING}/sign.sh ${STAGE}/quenvix.exe RESULT_VARIABLE failed)
    if(failed)
        give_up("quenvix.exe could not be signed.")
    endif()
endif()

# ---- the portable zip ---------------------------------------------------------------------------
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${WORK}/${ZIP_NAME} --format=zip quenvix.exe README.txt
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE failed)
if(failed)
    give_up("The zip could not be made.")
endif()

# ---- the installer; makensis signs the uninstaller and the setup itself -------------------------
set(NSIS_DEFINES -DVERSION=${VERSION} -DVERSION_QUAD=${VERSION_QUAD} -DEXE=${STAGE}/quenvix.exe
    -DREADME=${STAGE}/README.txt -DICON=${SOURCE}/src/win/res/quenvix.ico -DOUTFILE=${WORK}/${SETUP_NAME})
if(SIGN)
    list(APPEND NSIS_DEFINES -DSIGN_SCRIPT=${PACKAGING}/sign.sh)
endif()
execute_process(COMMAND ${MAKENSIS} -V2 -NOCD ${NSIS_DEFINES} ${PACKAGING}/quenvix.nsi
                RESULT_VARIABLE failed)
if(failed)
    give_up("makensis could not make the installer.")
endif()

# ---- the winget and scoop manifests, with the SHA-256 of the packages as shipped ----------------
set(DOWNLOAD_BASE "https://www.tarmel.example/download")
set(ZIP_URL "${DOWNLOAD_BASE}/${ZIP_NAME}")
set(SETUP_URL "${DOWNLOAD_BASE}/${SETUP_NAME}")
file(SHA256 ${WORK}/${ZIP_NAME} ZIP_SHA256)
file(SHA256 ${WORK}/${SETUP_NAME} SETUP_SHA256)
# winget writes hashes in capitals, scoop in small letters; both read either.
string(TOUPPER "${SETUP_SHA256}" SETUP_SHA256_UPPER)
set(WINGET_OUT ${WORK}/manifests/winget/manifests/t/Tarmel/Quenvix/${VERSION})
foreach(name Tarmel.Quenvix Tarmel.Quenvix.installer Tarmel.Quenvix.locale.en-US)
    configure_file(${PACKAGING}/winget/${name}.yaml.in ${WINGET_OUT}/${name}.yaml @ONLY)
endforeach()
configure_file(${PACKAGING}/scoop/quenvix.json.in ${WORK}/manifests/scoop/quenvix.json @ONLY)

# ---- all made: into OUT -------------------------------------------------------------------------
foreach(made ${ZIP_NAME} ${SETUP_NAME} manifests package-stage)
    file(RENAME ${WORK}/${made} ${OUT}/${made})
endforeach()
file(REMOVE_RECURSE ${WORK})
if(SIGN)
    message(STATUS "Signed: quenvix.exe, ${SETUP_NAME} and the uninstaller inside it")
endif()
message(STATUS "Packages in ${OUT}: ${ZIP_NAME}, ${SETUP_NAME}, manifests/")
