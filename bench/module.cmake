# bench_module: the built module through the test host and the effect per kernel path, the same
# program on Linux and Windows (bench/compare_systems.sh runs them side by side).
add_executable(bench_module ${CMAKE_CURRENT_LIST_DIR}/ModuleBench.cpp)
target_link_libraries(bench_module PRIVATE lumetra_host lumetra_plugin lumetra_options)
