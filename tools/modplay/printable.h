// Text from a module or a file name, made safe and readable on a terminal.
#pragma once

#include <cstddef>
#include <string>

// A name stored in a module (song, sample or instrument name): the trackers
// that wrote these formats ran on DOS, so the bytes are code page 437, turned
// into UTF-8 here; control bytes become '?'. Stops at the first NUL.
std::string PrintableName(const char* name, std::size_t size);

// A file name as the user typed it: valid UTF-8 stays as it is; control
// characters and bytes that are not UTF-8 become '?'.
std::string PrintableFileName(const std::string& name);

// The number of characters (code points) in UTF-8 text.
std::size_t Utf8Length(const std::string& text);

// The first `characters` characters of UTF-8 text, never cutting one apart.
std::string Utf8Prefix(const std::string& text, std::size_t characters);
