// The default soundtrack: a 218-second, multi-channel S3M module composed in
// code. Instruments are synthesised, patterns and arrangement are generated
// from fixed tables, so every call returns the same bytes.
#pragma once

#include <cstdint>
#include <vector>

// The bytes of "music.s3m".
std::vector<std::uint8_t> ComposeSoundtrack();
