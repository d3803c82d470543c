# bench_module: the built module through the test host, the same program on Linux and Windows.
add_executable(bench_module ${CMAKE_CURRENT_LIST_DIR}/ModuleBench.cpp)
target_link_libraries(bench_module PRIVATE lumetra_host lumetra_engine lumetra_options)
