# Tests of the LZMA and PPMd decoders (included from CMakeLists.txt here).
# Their samples are made at test time by independent encoders (Python's
# lzma module, 7-Zip) in a ctest fixture; under the Windows build the
# fixture still runs natively and the tests read the samples through Wine's
# Z: drive.
set(LZMA_PPMD_SAMPLES ${CMAKE_CURRENT_BINARY_DIR}/lzma_ppmd_samples)
if(WIN32)
  set(LZMA_PPMD_SAMPLES_SEEN "Z:${LZMA_PPMD_SAMPLES}")
else()
  set(LZMA_PPMD_SAMPLES_SEEN "${LZMA_PPMD_SAMPLES}")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME lzma_ppmd_samples
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/lzma_ppmd_samples.py ${LZMA_PPMD_SAMPLES})
set_tests_properties(lzma_ppmd_samples PROPERTIES FIXTURES_SETUP lzma_ppmd_samples TIMEOUT 120
  LABELS "${QX_PLATFORM}")

add_library(lzma_ppmd_test_support STATIC lzma_ppmd_samples.cpp)
target_compile_definitions(lzma_ppmd_test_support PUBLIC LZMA_PPMD_SAMPLES_DIR="${LZMA_PPMD_SAMPLES_SEEN}")
target_link_libraries(lzma_ppmd_test_support PUBLIC qx_install GTest::gtest)

qx_test(lzma_decoder_tests SOURCES lzma_decoder_test.cpp LIBS lzma_ppmd_test_support TIMEOUT 300)
qx_test(ppmd_decoder_tests SOURCES ppmd_decoder_test.cpp LIBS lzma_ppmd_test_support TIMEOUT 300)
set_tests_properties(lzma_decoder_tests ppmd_decoder_tests PROPERTIES FIXTURES_REQUIRED lzma_ppmd_samples)
