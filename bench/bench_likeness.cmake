# likeness: spectral likeness of renders of one song (scripts/compare-players.sh).
add_executable(likeness ${CMAKE_CURRENT_SOURCE_DIR}/likeness.cpp ${CMAKE_CURRENT_SOURCE_DIR}/likeness_wav.cpp)
project_warnings(likeness)
