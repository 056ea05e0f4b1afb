# Windows programs the Wine end-to-end scripts run beside HUEVEX.exe (see
# winprobe.cpp): built in a Windows build next to the program, never linked
# into it and never packaged.
add_executable(huevex_winprobe ${CMAKE_CURRENT_LIST_DIR}/winprobe.cpp)
target_link_libraries(huevex_winprobe PRIVATE user32 gdi32 ntdll)
target_compile_definitions(huevex_winprobe PRIVATE UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
set_target_properties(huevex_winprobe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(MINGW)
  target_link_options(huevex_winprobe PRIVATE -static -static-libgcc -static-libstdc++)
endif()
