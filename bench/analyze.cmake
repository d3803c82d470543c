# bench_analyze: `lumetra analyze --csv` on ten minutes of stereo 48 kHz audio, in-process.
add_executable(bench_analyze ${CMAKE_CURRENT_LIST_DIR}/AnalyzeBench.cpp)
target_link_libraries(bench_analyze PRIVATE lumetra_analyze benchmark::benchmark lumetra_options)
