# Speed of the LZMA and PPMd decoders on the entries of ZIP archives; run
# lzma_ppmd_compare.py with it to set it beside 7-Zip and liblzma.
add_executable(lzma_ppmd_bench ${CMAKE_CURRENT_LIST_DIR}/lzma_ppmd_bench.cpp)
target_link_libraries(lzma_ppmd_bench PRIVATE qx_install ZLIB::ZLIB)
