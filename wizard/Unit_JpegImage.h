// Decoding of the JPEG picture of the wizard with libjpeg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A decoded picture: rows of RGB triples, top row first, no padding.
struct TRgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Pixels;  // Width * Height * 3 bytes
};

// Decodes a JPEG held in memory. A picture that libjpeg cannot read raises
// Exception with libjpeg's own message; the program goes on.
TRgbImage DecodeJpeg(const std::string& bytes);
