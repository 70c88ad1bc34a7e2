# Fills the winget and scoop manifest templates with the version, the download addresses and the
# SHA-256 of the packages just made. Run by the "package" target:
#   cmake -DVERSION=1.2 -DZIP=... -DSETUP=... -DTEMPLATES=<packaging dir> -DOUT=<dir> -P manifests.cmake
foreach(required VERSION ZIP SETUP TEMPLATES OUT)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "manifests.cmake needs -D${required}=...")
    endif()
endforeach()

set(DOWNLOAD_BASE "https://www.tarmel.example/download")
get_filename_component(ZIP_NAME "${ZIP}" NAME)
get_filename_component(SETUP_NAME "${SETUP}" NAME)
set(ZIP_URL "${DOWNLOAD_BASE}/${ZIP_NAME}")
set(SETUP_URL "${DOWNLOAD_BASE}/${SETUP_NAME}")
file(SHA256 "${ZIP}" ZIP_SHA256)
file(SHA256 "${SETUP}" SETUP_SHA256)
# winget writes hashes in capitals, scoop in small letters; both read either.
string(TOUPPER "${SETUP_SHA256}" SETUP_SHA256_UPPER)

file(REMOVE_RECURSE "${OUT}")
set(WINGET_OUT "${OUT}/winget/manifests/t/Tarmel/Quenvix/${VERSION}")
foreach(name Tarmel.Quenvix Tarmel.Quenvix.installer Tarmel.Quenvix.locale.en-US)
    configure_file("${TEMPLATES}/winget/${name}.yaml.in" "${WINGET_OUT}/${name}.yaml" @ONLY)
endforeach()
configure_file("${TEMPLATES}/scoop/quenvix.json.in" "${OUT}/scoop/quenvix.json" @ONLY)
