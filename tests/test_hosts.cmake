# The test hosts: headers that drive the built plug-ins as hosts do, for the
# suites, the fuzz targets and the benchmark alike. Included from each of
# those folders, so that any one of them configured alone finds it.
include_guard(GLOBAL)

add_library(test_hosts INTERFACE)
target_include_directories(test_hosts INTERFACE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(test_hosts INTERFACE vsthost_lib clap_abi vst3_abi)
