# Makes the release packages from the built programs, run by the "package" target
# (cmake/package.cmake) and by the package test with an output folder of its own:
#   cmake -DVERSION=1.2 -DVERSION_QUAD=1.2.0.0 "-DPROGRAMS=quenvix.exe|..." -DSOURCE=<source dir>
#         -DOUT=<dir> -DDOWNLOAD_BASE=https://... [-DMAKENSIS=makensis] [-DPYTHON=python3]
#         -P make_packages.cmake
# PROGRAMS: the built program files that ship, "|"-separated (cmake/package.cmake's one list;
# quenvix.exe first). OUT receives Quenvix-<version>-win64.zip (portable: it carries the
# marker portable.ini), Quenvix-<version>-setup.exe (the per-user installer), manifests/ (winget
# and scoop, with the addresses and SHA-256 of both) and package-stage/ (the files as shipped).
#
# Signed when the environment names a key (packaging/sign.sh, README "Signing a release"): every
# program, the NSIS plug-ins the setup unpacks at run time, the uninstaller and the setup. The key
# is tried before anything is made; everything is made in a folder of its own and moved into OUT
# only when all of it succeeded, and the packages of an earlier run are removed at the start, so a
# failed signing leaves no package, signed or not.
foreach(required VERSION VERSION_QUAD PROGRAMS SOURCE OUT DOWNLOAD_BASE)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "make_packages.cmake needs -D${required}=...")
    endif()
endforeach()
if(NOT DEFINED MAKENSIS)
    set(MAKENSIS makensis)
endif()
if(NOT DEFINED PYTHON)
    set(PYTHON python3)
endif()
string(REPLACE "|" ";" PROGRAMS "${PROGRAMS}")
string(REGEX REPLACE "/+$" "" DOWNLOAD_BASE "${DOWNLOAD_BASE}")

set(PACKAGING ${SOURCE}/packaging)
set(ZIP_NAME Quenvix-${VERSION}-win64.zip)
set(SETUP_NAME Quenvix-${VERSION}-setup.exe)
set(WORK ${OUT}/package-work)
set(STAGE ${WORK}/package-stage)
# The maker's addresses (core/product.h has the same web site).
set(WEBSITE "https://www.tarmel.example")
set(PRIVACY_URL "${WEBSITE}/privacy")
set(LICENSE_URL "${WEBSITE}/license")
set(COPYRIGHT "Copyright (C) Tarmel")
# The uninstall entry's key name below ...\CurrentVersion\Uninstall: winget's ProductCode.
set(PRODUCT_CODE "Quenvix")
# The day of the release; SOURCE_DATE_EPOCH (reproducible builds) sets it, as CMake documents.
string(TIMESTAMP RELEASE_DATE "%Y-%m-%d" UTC)

file(REMOVE_RECURSE ${WORK} ${OUT}/${ZIP_NAME} ${OUT}/${SETUP_NAME} ${OUT}/manifests
     ${OUT}/package-stage)
file(MAKE_DIRECTORY ${STAGE})

function(give_up message)
    file(REMOVE_RECURSE ${WORK})
    message(FATAL_ERROR "${message}\nNo package was made.")
endfunction()

# ---- signing: asked for by the environment of this run ---------------------------------------
set(SIGN OFF)
if(NOT "$ENV{QUENVIX_SIGN_PKCS11_MODULE}" STREQUAL "" OR NOT "$ENV{QUENVIX_SIGN_CERT}" STREQUAL "")
    find_program(OSSLSIGNCODE osslsigncode)
    if(NOT OSSLSIGNCODE)
        give_up("Signing needs osslsigncode (Debian package osslsigncode; scripts/lib.sh installs it).")
    endif()
    list(GET PROGRAMS 0 sample)
    execute_process(COMMAND bash ${PACKAGING}/sign.sh --check ${sample} RESULT_VARIABLE failed)
    if(failed)
        give_up("The key cannot sign (see above).")
    endif()
    set(SIGN ON)
else()
    message(STATUS "Not signed: set QUENVIX_SIGN_PKCS11_MODULE (a token) or QUENVIX_SIGN_CERT (a "
                   "PKCS#12 file) to sign the packages (README, \"Signing a release\").")
endif()

function(sign_files)
    if(SIGN)
        execute_process(COMMAND bash ${PACKAGING}/sign.sh ${ARGN} RESULT_VARIABLE failed)
        if(failed)
            give_up("Signing failed (see above).")
        endif()
    endif()
endfunction()

# ---- what ships: the programs, README.txt and the help page ------------------------------------
set(SHIPPED_PROGRAMS "")
foreach(program ${PROGRAMS})
    get_filename_component(name ${program} NAME)
    file(COPY_FILE ${program} ${STAGE}/${name})
    list(APPEND SHIPPED_PROGRAMS ${name})
endforeach()
set(SHIPPED_PATHS ${SHIPPED_PROGRAMS})
list(TRANSFORM SHIPPED_PATHS PREPEND ${STAGE}/)
sign_files(${SHIPPED_PATHS})
# Windows users open README.txt in Notepad: CRLF line ends.
set(PROJECT_VERSION ${VERSION})
configure_file(${PACKAGING}/README.txt.in ${STAGE}/README.txt @ONLY NEWLINE_STYLE CRLF)
# "Help contents" opens Help\Default.htm beside the program: the README, as a page.
execute_process(COMMAND ${PYTHON} ${PACKAGING}/readme_to_help.py ${SOURCE}/README.md
                        ${STAGE}/Help/Default.htm ${VERSION} ${DOWNLOAD_BASE}
                RESULT_VARIABLE failed)
if(failed)
    give_up("The help page could not be made from README.md.")
endif()
set(SHIPPED_FILES ${SHIPPED_PROGRAMS} README.txt Help/Default.htm)

# ---- the portable zip: with the marker that keeps every setting beside the program ---------------
file(MAKE_DIRECTORY ${WORK}/zip)
foreach(name ${SHIPPED_FILES})
    get_filename_component(folder ${WORK}/zip/${name} DIRECTORY)
    file(COPY ${STAGE}/${name} DESTINATION ${folder})
endforeach()
configure_file(${PACKAGING}/portable.ini ${WORK}/zip/portable.ini @ONLY NEWLINE_STYLE CRLF)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${WORK}/${ZIP_NAME} --format=zip ${SHIPPED_FILES}
                        portable.ini
                WORKING_DIRECTORY ${WORK}/zip RESULT_VARIABLE failed)
if(failed)
    give_up("The zip could not be made.")
endif()

# ---- the installer; makensis signs the uninstaller and the setup itself -------------------------
# The setup's file list, from the same list as the zip's (the uninstaller removes exactly these).
set(nsh "; Made by packaging/make_packages.cmake: the files the setup installs.\n")
string(APPEND nsh "!define EXE \"${STAGE}/quenvix.exe\"\n")
string(APPEND nsh "!macro QUENVIX_FILES ACTION\n")
foreach(name ${SHIPPED_FILES})
    string(REPLACE "/" "\\" target ${name})
    string(APPEND nsh "    !insertmacro \${ACTION} \"${STAGE}/${name}\" \"${target}\"\n")
endforeach()
string(APPEND nsh "!macroend\n!macro QUENVIX_PROGRAMS ACTION\n")
foreach(name ${SHIPPED_PROGRAMS})
    string(APPEND nsh "    !insertmacro \${ACTION} \"${name}\"\n")
endforeach()
string(APPEND nsh "!macroend\n")
file(WRITE ${WORK}/files.nsh "${nsh}")

set(NSIS_DEFINES -DVERSION=${VERSION} -DVERSION_QUAD=${VERSION_QUAD} -DFILES=${WORK}/files.nsh
    -DICON=${SOURCE}/src/win/res/quenvix.ico -DOUTFILE=${WORK}/${SETUP_NAME}
    -DWEBSITE=${WEBSITE} -DDOWNLOAD_BASE=${DOWNLOAD_BASE} "-DCOPYRIGHT=${COPYRIGHT}"
    -DPRODUCT_CODE=${PRODUCT_CODE})
if(SIGN)
    # The plug-ins the setup unpacks into %TEMP% at run time are programs of their own that Smart
    # App Control judges alone: signed copies of NSIS's own take their place.
    execute_process(COMMAND ${MAKENSIS} -HDRINFO OUTPUT_VARIABLE info ERROR_VARIABLE info)
    string(REGEX MATCH "NSISDIR=[^,\n]*" nsisdir "${info}")
    string(REPLACE "NSISDIR=" "" nsisdir "${nsisdir}")
    file(GLOB plugins ${nsisdir}/Plugins/amd64-unicode/*.dll)
    if(NOT plugins)
        give_up("NSIS's amd64-unicode plug-ins were not found below \"${nsisdir}\".")
    endif()
    file(COPY ${plugins} DESTINATION ${WORK}/plugins/amd64-unicode)
    file(GLOB plugins ${WORK}/plugins/amd64-unicode/*.dll)
    sign_files(${plugins})
    list(APPEND NSIS_DEFINES -DSIGN_SCRIPT=${PACKAGING}/sign.sh
         -DSIGNED_PLUGINS=${WORK}/plugins/amd64-unicode)
endif()
execute_process(COMMAND ${MAKENSIS} -V2 -NOCD ${NSIS_DEFINES} ${PACKAGING}/quenvix.nsi
                RESULT_VARIABLE failed)
if(failed)
    give_up("makensis could not make the installer.")
endif()

# ---- the winget and scoop manifests, with the SHA-256 of the packages as shipped ----------------
set(ZIP_URL "${DOWNLOAD_BASE}/${ZIP_NAME}")
set(SETUP_URL "${DOWNLOAD_BASE}/${SETUP_NAME}")
file(SHA256 ${WORK}/${ZIP_NAME} ZIP_SHA256)
file(SHA256 ${WORK}/${SETUP_NAME} SETUP_SHA256)
# winget writes hashes in capitals, scoop in small letters; both read either.
string(TOUPPER "${SETUP_SHA256}" SETUP_SHA256_UPPER)
# scoop: the programs a running copy may hold open, as a PowerShell list.
set(SCOOP_PROGRAMS "")
foreach(name ${SHIPPED_PROGRAMS})
    get_filename_component(stem ${name} NAME_WE)
    list(APPEND SCOOP_PROGRAMS "'${stem}'")
endforeach()
list(JOIN SCOOP_PROGRAMS "," SCOOP_PROGRAMS)
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
    message(STATUS "Signed: ${SHIPPED_PROGRAMS}, the NSIS plug-ins, the uninstaller and ${SETUP_NAME}")
endif()
message(STATUS "Packages in ${OUT}: ${ZIP_NAME}, ${SETUP_NAME}, manifests/")
