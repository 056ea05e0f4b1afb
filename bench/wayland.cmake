# The Wayland screen capture module: what a read costs (Google Benchmark, no
# compositor needed), and a window that keeps the compositor busy for the
# frame-age measurement run inside a Wayland session (bench/wayland/frame_age.sh).
add_executable(huevex_wayland_read_bench wayland/read_bench.cpp)
target_link_libraries(huevex_wayland_read_bench PRIVATE huevex_wayland_pure benchmark::benchmark)

add_executable(huevex_flicker wayland/flicker.cpp)
target_link_libraries(huevex_flicker PRIVATE X11::X11)
