# Seconds of audio mixed per CPU second: a 16-channel S3M song through the
# player, per mixing path; and 32 channels on the mixer alone, per path and
# per vector instruction set.
project_add_bench(bench_mixer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_mixer.cpp ${CMAKE_CURRENT_LIST_DIR}/bench_mixer_mix.cpp
  LIBS sound win32 s3mwriter)
