// A bound on what the YAML library spends on a text, found before it runs. The library
// costs hundreds of bytes and about a microsecond per node it builds, and it holds every
// token of a flow collection until the collection ends, so no count taken while it parses
// or walking its tree afterwards comes in time.
#pragma once

#include <cstddef>

namespace files {

// The bytes at which a YAML token can begin: a flow indicator, a colon or a quote, or any
// other byte that is not a blank or a line break and follows one of these or starts the
// text. Every token the library scans, and every node it builds, begins at such a byte or
// comes of one (an implied key, an empty value, a collection's end), a few at most per
// byte; a long plain scalar, a comment or a quoted text counts once per word. Never more
// than the text's size.
std::size_t yamlTokenStarts(const char* data, std::size_t size);

}   // namespace files
