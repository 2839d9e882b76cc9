# ReadSetting and WriteSetting on a settings file of 300 keys.
varnel_add_bench(bench_settings SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_settings.cpp LIBS varnel_core)
