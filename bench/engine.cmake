# bench_engine: processReplacing of the whole effect (32 bands) at 44.1 kHz.
add_executable(bench_engine ${CMAKE_CURRENT_LIST_DIR}/EngineBench.cpp)
target_link_libraries(bench_engine PRIVATE lumetra_plugin benchmark::benchmark lumetra_options)
