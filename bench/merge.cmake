# Quilmer: merging two 20,000-key files, and many additions to one section.
varnel_add_bench(bench_merge SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_merge.cpp LIBS varnel_merge)
add_dependencies(bench_merge Quilmer)
target_compile_definitions(bench_merge PRIVATE QUILMER_PATH="$<TARGET_FILE:Quilmer>")
