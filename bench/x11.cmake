# Linux program benchmarks: one sampling tick and one magnifier frame against
# a real X server (Google Benchmark), and start-up, memory, idle CPU and picking rate against peer
# programs on a private Xvfb (bench/x11/run.py). Not run by ctest; build with
# -DHUEVEX_BENCH=ON and run the target bench_x11.
add_executable(huevex_x11_tick_bench x11/tick_bench.cpp)
target_link_libraries(huevex_x11_tick_bench PRIVATE huevex_x11 huevex_app benchmark::benchmark)

add_executable(huevex_mapwatch x11/mapwatch.cpp)
target_link_libraries(huevex_mapwatch PRIVATE X11::X11)

find_package(Python3 COMPONENTS Interpreter)
set(x11_bench_board)
if(TARGET huevex_colorboard)
  set(x11_bench_board --colorboard $<TARGET_FILE:huevex_colorboard>)
endif()
add_custom_target(bench_x11
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/x11/run.py
          --huevex $<TARGET_FILE:huevex> --mapwatch $<TARGET_FILE:huevex_mapwatch>
          --tick-bench $<TARGET_FILE:huevex_x11_tick_bench> ${x11_bench_board}
          --artifacts ${CMAKE_CURRENT_BINARY_DIR}
  DEPENDS huevex huevex_mapwatch huevex_x11_tick_bench
  USES_TERMINAL)
