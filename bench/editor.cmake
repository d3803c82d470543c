# bench_editor: the editor window's idle and the audio thread's meter deliveries, through the
# built module; needs an X display (xvfb-run -a build/bench/bench_editor).
add_executable(bench_editor ${CMAKE_CURRENT_LIST_DIR}/EditorBench.cpp)
target_link_libraries(bench_editor PRIVATE lumetra_host X11::X11 benchmark::benchmark lumetra_options ${CMAKE_DL_LIBS})
target_compile_definitions(bench_editor PRIVATE LUMETRA_MODULE_PATH="$<TARGET_FILE:Lumetra>")
add_dependencies(bench_editor Lumetra)
