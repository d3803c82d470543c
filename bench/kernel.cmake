# bench_kernel: the bank kernel's paths against the plain path, whole effect.
add_executable(bench_kernel ${CMAKE_CURRENT_LIST_DIR}/KernelBench.cpp)
target_link_libraries(bench_kernel PRIVATE lumetra_plugin benchmark::benchmark lumetra_options)
