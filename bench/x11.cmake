# Linux program benchmarks: the sampling tick, block reads and the magnifier
# frame against a real X server (Google Benchmark), and the start-up watcher
# that bench/compare.py times the programs with. Not run by ctest; build with
# -DHUEVEX_BENCH=ON and run bench/compare.py.
add_executable(huevex_x11_tick_bench x11/tick_bench.cpp)
target_link_libraries(huevex_x11_tick_bench PRIVATE huevex_x11 huevex_app benchmark::benchmark)

add_executable(huevex_mapwatch x11/mapwatch.cpp)
target_link_libraries(huevex_mapwatch PRIVATE X11::X11 X11::Xfixes X11::Xtst)

# How long the swatch takes to show a change under the pointer, and a move.
add_executable(huevex_swatch_delay x11/swatch_delay.cpp)
target_link_libraries(huevex_swatch_delay PRIVATE X11::X11 X11::Xtst X11::Xdamage)
