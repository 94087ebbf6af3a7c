# RenderScene per frame on a generated scene of about 50,000 faces.
project_add_bench(bench_scene
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_scene.cpp
  LIBS engine scenewriter)
