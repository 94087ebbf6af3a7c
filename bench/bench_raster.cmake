project_add_bench(bench_raster SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_raster.cpp LIBS gfx)
