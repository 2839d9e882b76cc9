# Programs of tools/ that run the client's own code: the README's screenshots.
add_executable(make_screenshots ${CMAKE_SOURCE_DIR}/tools/screenshots.cpp)
set_target_properties(make_screenshots PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(make_screenshots PRIVATE varnel_shell varnel_test_support)
