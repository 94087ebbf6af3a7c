# Offline capture speed on the default content, as a multiple of real time.
project_add_bench(bench_capture SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_capture.cpp LIBS democapture_core)
target_compile_definitions(bench_capture PRIVATE DEMO_CONTENT_DIR="${DEMO_CONTENT_DIR}")
