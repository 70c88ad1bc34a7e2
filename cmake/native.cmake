# Native build: unit tests of the core against in-memory fakes, and benchmarks.
find_package(GTest REQUIRED)
include(GoogleTest)

# One test program per unit, so that a unit's tests build and run on their own.
file(GLOB QUENVIX_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp)
foreach(test_source ${QUENVIX_UNIT_TESTS})
    get_filename_component(test_name ${test_source} NAME_WE)
    add_executable(unit_${test_name} ${test_source})
    target_include_directories(unit_${test_name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
    target_link_libraries(unit_${test_name} PRIVATE quenvix_core GTest::gtest GTest::gtest_main GTest::gmock)
    target_compile_options(unit_${test_name} PRIVATE ${QUENVIX_WARNINGS})
    # version_test reads project() from the source tree.
    target_compile_definitions(unit_${test_name} PRIVATE QUENVIX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    gtest_discover_tests(unit_${test_name} DISCOVERY_TIMEOUT 60)
endforeach()

if(QUENVIX_BENCH)
    find_package(benchmark REQUIRED)
    file(GLOB QUENVIX_BENCHES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*_bench.cpp)
    foreach(bench_source ${QUENVIX_BENCHES})
        get_filename_component(bench_name ${bench_source} NAME_WE)
        add_executable(${bench_name} ${bench_source})
        target_include_directories(${bench_name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
        target_link_libraries(${bench_name} PRIVATE quenvix_core benchmark::benchmark benchmark::benchmark_main)
    endforeach()
endif()
