# A short bounded run of the image-parser fuzzer in the host test command, where clang's
# libFuzzer is available. scripts/fuzz.sh builds it outside the CMake configurations.
find_program(FPC_CLANGXX clang++)
if(FPC_CLANGXX)
  add_test(NAME loader_image_fuzz
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/fuzz.sh 25
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  set_tests_properties(loader_image_fuzz PROPERTIES TIMEOUT 400)
endif()
