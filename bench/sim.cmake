add_executable(huevex_bench_sim ${CMAKE_CURRENT_SOURCE_DIR}/sim_bench.cpp)
target_link_libraries(huevex_bench_sim PRIVATE huevex_app huevex_sim benchmark::benchmark)
target_include_directories(huevex_bench_sim PRIVATE ${PROJECT_SOURCE_DIR}/tests)
