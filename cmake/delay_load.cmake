# System DLLs that are not KnownDLLs are delay-loaded. A DLL in the load-time import table is
# looked for beside the executable first, so a planted winhttp.dll in the Downloads folder would
# run as us; a delay-loaded one is loaded on first use by the delay helper (mingw-w64's
# __delayLoadHelper2, in libmingwex), whose LoadLibrary then searches only System32, because the
# entry point calls SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) before anything else.
#
# The delay-import libraries are made from MinGW's own import libraries: every function they
# export goes into a .def file, so new calls need no change here.
set(QUENVIX_DELAYED_DLLS winhttp uxtheme winmm comctl32)

set(QUENVIX_DELAY_LIBS)
foreach(dll ${QUENVIX_DELAYED_DLLS})
    find_library(QUENVIX_IMPORT_LIB_${dll} NAMES lib${dll}.a REQUIRED)
    execute_process(COMMAND ${CMAKE_NM} --defined-only ${QUENVIX_IMPORT_LIB_${dll}}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE nmResult)
    if(NOT nmResult EQUAL 0)
        message(FATAL_ERROR "cannot list the exports of ${QUENVIX_IMPORT_LIB_${dll}}")
    endif()
    string(REGEX MATCHALL "I __imp_[A-Za-z0-9_]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE "^I __imp_" "")
    list(REMOVE_DUPLICATES imports)
    list(JOIN imports "\n    " exports)
    set(def ${CMAKE_BINARY_DIR}/delay/${dll}.def)
    file(CONFIGURE OUTPUT ${def} CONTENT "LIBRARY ${dll}.dll\nEXPORTS\n    ${exports}\n")
    set(lib ${CMAKE_BINARY_DIR}/delay/lib${dll}_delay.a)
    add_custom_command(OUTPUT ${lib}
        COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname ${dll}.dll --output-delaylib ${lib}
        DEPENDS ${def}
        COMMENT "Delay-import library for ${dll}.dll")
    list(APPEND QUENVIX_DELAY_LIBS ${lib})
endforeach()
add_custom_target(quenvix_delay_libs DEPENDS ${QUENVIX_DELAY_LIBS})
add_library(quenvix_delayed_dlls INTERFACE)
add_dependencies(quenvix_delayed_dlls quenvix_delay_libs)
target_link_libraries(quenvix_delayed_dlls INTERFACE ${QUENVIX_DELAY_LIBS})
