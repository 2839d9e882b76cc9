# Streaming a 60 MB handbook through the XML loaders, next to xmllint on the same file.
varnel_add_bench(bench_xmlload SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_xmlload.cpp LIBS varnel_core)
