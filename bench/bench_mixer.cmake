# Seconds of audio mixed per CPU second for a 16-channel S3M song, per mixing path.
if(TARGET sound AND TARGET s3mwriter)
  project_add_bench(bench_mixer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_mixer.cpp LIBS sound win32 s3mwriter)
endif()
