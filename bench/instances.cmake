# bench_instances: 64 effects in one process at 48 kHz and 64-sample blocks against one.
add_executable(bench_instances ${CMAKE_CURRENT_LIST_DIR}/InstancesBench.cpp)
target_link_libraries(bench_instances PRIVATE lumetra_plugin benchmark::benchmark lumetra_options)
