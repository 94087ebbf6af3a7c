project_add_bench(bench_mixer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_mixer.cpp LIBS sound)
