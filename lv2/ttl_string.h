// Text as a Turtle string literal, for whatever names the effect gives: the
// characters Turtle forbids bare are escaped, other control characters too so
// the file stays readable, and bytes that are not UTF-8 become U+FFFD, since
// a reader rejects the whole file for one of them.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

inline std::string TtlString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
            }
            ++i;
            continue;
        }
        // The length a lead byte announces, and the least code point it may
        // carry: overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        const std::size_t length = c >= 0xc2 && c < 0xe0 ? 2 : c >= 0xe0 && c < 0xf0 ? 3 : c >= 0xf0 && c < 0xf5 ? 4 : 0;
        char32_t point = length == 2 ? c & 0x1f : length == 3 ? c & 0x0f : c & 0x07;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xc0) == 0x80;
            point = point << 6 | (next & 0x3f);
        }
        valid = valid && point >= (length == 3 ? 0x800u : length == 4 ? 0x10000u : 0x80u) && point <= 0x10ffff &&
                (point < 0xd800 || point > 0xdfff);
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\\uFFFD";
            ++i;
        }
    }
    return out + '"';
}
