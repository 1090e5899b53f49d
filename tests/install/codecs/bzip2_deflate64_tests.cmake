# Tests of the bzip2 and Deflate64 decoders (included from CMakeLists.txt
# here). Their samples are made at test time by independent encoders
# (Debian's bzip2, Python's bz2 module, 7-Zip) in a ctest fixture; under the
# Windows build the fixture still runs natively and the tests read the
# samples through Wine's Z: drive.
set(BZIP2_DEFLATE64_SAMPLES ${CMAKE_CURRENT_BINARY_DIR}/bzip2_deflate64_samples)
if(WIN32)
  set(BZIP2_DEFLATE64_SAMPLES_SEEN "Z:${BZIP2_DEFLATE64_SAMPLES}")
else()
  set(BZIP2_DEFLATE64_SAMPLES_SEEN "${BZIP2_DEFLATE64_SAMPLES}")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME bzip2_deflate64_samples
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/bzip2_deflate64_samples.py ${BZIP2_DEFLATE64_SAMPLES})
set_tests_properties(bzip2_deflate64_samples PROPERTIES FIXTURES_SETUP bzip2_deflate64_samples TIMEOUT 120
  LABELS "${QX_PLATFORM}")

add_library(bzip2_deflate64_test_support STATIC bzip2_deflate64_samples.cpp)
target_compile_definitions(bzip2_deflate64_test_support
  PUBLIC BZIP2_DEFLATE64_SAMPLES_DIR="${BZIP2_DEFLATE64_SAMPLES_SEEN}")
target_link_libraries(bzip2_deflate64_test_support PUBLIC qx_install GTest::gtest)

qx_test(bzip2_decoder_tests SOURCES bzip2_decoder_test.cpp LIBS bzip2_deflate64_test_support TIMEOUT 300)
qx_test(deflate64_decoder_tests SOURCES deflate64_decoder_test.cpp LIBS bzip2_deflate64_test_support TIMEOUT 300)
set_tests_properties(bzip2_decoder_tests deflate64_decoder_tests PROPERTIES
  FIXTURES_REQUIRED bzip2_deflate64_samples)
