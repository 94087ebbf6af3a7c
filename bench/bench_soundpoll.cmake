# The cost of one poll step of the player thread: how long a full refill of the
# default wave ring (500 ms of audio) takes with a song playing.
project_add_bench(bench_soundpoll SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_soundpoll.cpp LIBS sound win32 s3mwriter)
