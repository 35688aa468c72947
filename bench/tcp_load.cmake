# The TCP output load program (not a Google Benchmark: it runs a whole session of
# many clients and prints one summary line).
add_executable(fixcaster_tcp_load ${CMAKE_CURRENT_LIST_DIR}/tcp_load.cpp)
target_link_libraries(fixcaster_tcp_load PRIVATE fixcaster_options fixcaster_output fixcaster_nmea)
