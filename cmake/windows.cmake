# Windows build (MinGW-w64): the program, the Wine-run tests and the end-to-end helper program.
enable_language(RC)

# comctl32, uxtheme, winhttp and winmm are not KnownDLLs: see delay_load.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/delay_load.cmake)
set(QUENVIX_WIN_LIBS user32 gdi32 quenvix_delayed_dlls comdlg32 shell32 shlwapi advapi32 ole32 uuid)
# Static runtime: quenvix.exe needs no DLL beside it.
set(QUENVIX_STATIC_LINK -static -static-libgcc -static-libstdc++)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)

file(GLOB QUENVIX_WIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/win/*.cpp)
list(REMOVE_ITEM QUENVIX_WIN_SOURCES ${CMAKE_SOURCE_DIR}/src/win/main.cpp)
add_library(quenvix_win STATIC ${QUENVIX_WIN_SOURCES})
target_include_directories(quenvix_win PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(quenvix_win PUBLIC quenvix_core ${QUENVIX_WIN_LIBS})
target_compile_options(quenvix_win PRIVATE ${QUENVIX_WARNINGS})

# The version resource takes its version from project(), like the packages.
set(QUENVIX_RES_DIR ${CMAKE_SOURCE_DIR}/src/win/res)
set(QUENVIX_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
if(NOT "${PROJECT_VERSION_PATCH}" STREQUAL "")
    set(QUENVIX_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
endif()
string(REPLACE "," "." QUENVIX_VERSION_QUAD "${QUENVIX_VERSION_COMMAS}")
# The application manifest's assemblyIdentity carries the same four numbers.
configure_file(${QUENVIX_RES_DIR}/quenvix.manifest.in ${CMAKE_BINARY_DIR}/quenvix.manifest @ONLY)
configure_file(${QUENVIX_RES_DIR}/quenvix.rc.in ${CMAKE_BINARY_DIR}/quenvix.rc @ONLY)
add_executable(quenvix WIN32 ${CMAKE_SOURCE_DIR}/src/win/main.cpp ${CMAKE_BINARY_DIR}/quenvix.rc)
target_link_libraries(quenvix PRIVATE quenvix_win)
# Size: the program spends its time waiting on the system, not computing, so it is built for
# size, each function in a section of its own so that the linker drops what nothing calls (the
# static C++ runtime and the import libraries bring much of that). Not -fdata-sections: GCC for
# PE then puts zero-filled objects into .data, and the crash guard's 72 KB list with them.
set(QUENVIX_SIZE_FLAGS -Os -ffunction-sections)
target_compile_options(quenvix_core PRIVATE ${QUENVIX_SIZE_FLAGS})
target_compile_options(quenvix_win PRIVATE ${QUENVIX_SIZE_FLAGS})
# The shipped program goes out stripped (-s); the test programs keep their symbols.
target_link_options(quenvix PRIVATE ${QUENVIX_STATIC_LINK} -municode -s -Wl,--gc-sections)
target_compile_options(quenvix PRIVATE ${QUENVIX_WARNINGS} ${QUENVIX_SIZE_FLAGS})
set_target_properties(quenvix PROPERTIES OUTPUT_NAME quenvix)

# The guardian: a program of its own beside quenvix.exe, as small as a process that only waits can
# be. No C runtime (its own entry point), kernel32 and user32 only.
add_executable(quenvix_guardian WIN32 ${CMAKE_SOURCE_DIR}/src/guardian/guardian_main.cpp)
target_include_directories(quenvix_guardian PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
target_compile_options(quenvix_guardian PRIVATE ${QUENVIX_WARNINGS} -Os -fno-exceptions -fno-rtti
    -fno-asynchronous-unwind-tables -fno-stack-protector -mno-stack-arg-probe)
target_link_options(quenvix_guardian PRIVATE -nostdlib -e GuardianStart -s -Wl,--gc-sections)
target_link_libraries(quenvix_guardian PRIVATE kernel32 user32)
set_target_properties(quenvix_guardian PROPERTIES OUTPUT_NAME quenvix_guardian)
# quenvix.exe starts it from beside itself; build them together.
add_dependencies(quenvix quenvix_guardian)

# GoogleTest built for Windows from Debian's source package.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB QUENVIX_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*_test.cpp)
foreach(test_source ${QUENVIX_WIN_TESTS})
    get_filename_component(test_name ${test_source} NAME_WE)
    add_executable(win_${test_name} ${test_source})
    target_include_directories(win_${test_name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/win ${CMAKE_SOURCE_DIR}/tests/unit)
    target_link_libraries(win_${test_name} PRIVATE quenvix_win gtest gmock gtest_main)
    target_link_options(win_${test_name} PRIVATE ${QUENVIX_STATIC_LINK})
    target_compile_options(win_${test_name} PRIVATE ${QUENVIX_WARNINGS})
    add_test(NAME win_${test_name} COMMAND win_${test_name})
    set_tests_properties(win_${test_name} PROPERTIES TIMEOUT 300)
endforeach()
# The import-table test reads the built program; the guardian test runs it.
add_dependencies(win_import_table_test quenvix quenvix_guardian)
add_dependencies(win_guardian_test quenvix_guardian)

# The end-to-end scenarios' own helper program: opens test windows and reports their states.
file(GLOB QUENVIX_E2E_HELPERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
foreach(helper_source ${QUENVIX_E2E_HELPERS})
    get_filename_component(helper_name ${helper_source} NAME_WE)
    add_executable(${helper_name} WIN32 ${helper_source})
    target_link_libraries(${helper_name} PRIVATE ${QUENVIX_WIN_LIBS})
    target_link_options(${helper_name} PRIVATE ${QUENVIX_STATIC_LINK} -municode)
    target_compile_definitions(${helper_name} PRIVATE UNICODE _UNICODE)
endforeach()
# Put by testwin into the thread of another program's window (an open menu, a tab control) to
# read what it shows from there.
add_library(read_hook SHARED ${CMAKE_SOURCE_DIR}/tests/e2e/read_hook/read_hook.cpp)
set_target_properties(read_hook PROPERTIES PREFIX "")
target_link_libraries(read_hook PRIVATE user32)
target_link_options(read_hook PRIVATE ${QUENVIX_STATIC_LINK})
add_dependencies(testwin read_hook)

# Benchmarks of the Windows side, run by hand under Wine (or on Windows).
file(GLOB QUENVIX_WIN_BENCHES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/win/*_bench.cpp)
foreach(bench_source ${QUENVIX_WIN_BENCHES})
    get_filename_component(bench_name ${bench_source} NAME_WE)
    add_executable(${bench_name} ${bench_source})
    target_link_libraries(${bench_name} PRIVATE quenvix_win)
    target_link_options(${bench_name} PRIVATE ${QUENVIX_STATIC_LINK})
    target_compile_options(${bench_name} PRIVATE ${QUENVIX_WARNINGS})
endforeach()

# The portable zip, the per-user installer and the winget/scoop manifests: target "package".
include(${CMAKE_SOURCE_DIR}/cmake/package.cmake)
