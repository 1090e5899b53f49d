# The bench program of the updater's HTTP client (native only).
if(NOT WIN32 AND NOT TARGET qx_http_bench)
  add_executable(qx_http_bench ${CMAKE_CURRENT_LIST_DIR}/http_bench.cpp)
  target_link_libraries(qx_http_bench PRIVATE qx_server)
endif()
