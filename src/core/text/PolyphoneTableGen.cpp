// Build-time generator: reads Unihan's readings (Debian's unicode-data ships them as
// /usr/share/unicode/Unihan_Readings.txt.bz2) and writes a C++ source with one entry per Han
// character whose readings start with more than one letter (长 chang/zhang -> c, z). The program
// uses it to let "zc" find 张长 as well as "zz": a given name's polyphonic character may be read
// either way, and the user types the reading they know.
//
// Readings come from the modern sources: kMandarin, kHanyuPinlu (frequency counts), kXHC1983
// (Xiandai Hanyu Cidian) and kTGHZ2013. kHanyuPinyin lists the Hanyu Da Zidian's readings, many of
// them archaic (重 tóng, 仇 jū); it is used only for a character that none of the modern sources
// covers, so that rare characters are not left out altogether.
//
// Usage: zinteva_polyphone_gen <Unihan_Readings.txt.bz2> <output.cpp>
#include <bzlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Readings {
    uint32_t modern = 0;  // letter mask from the modern sources
    uint32_t archaic = 0; // letter mask from kHanyuPinyin
    bool hasModern = false;
};

bool readBzip2(const char* path, std::string& text) {
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    int error = BZ_OK;
    BZFILE* bz = BZ2_bzReadOpen(&error, file, 0, 0, nullptr, 0);
    if (error != BZ_OK) {
        std::fclose(file);
        return false;
    }
    char buffer[1 << 16];
    while (error == BZ_OK) {
        const int n = BZ2_bzRead(&error, bz, buffer, sizeof buffer);
        if (error == BZ_OK || error == BZ_STREAM_END)
            text.append(buffer, static_cast<size_t>(n));
    }
    const bool ok = error == BZ_STREAM_END;
    BZ2_bzReadClose(&error, bz);
    std::fclose(file);
    return ok;
}

// The first letter of a reading such as "zhǎng", "ǎi" or "ń", as 'a'..'z'; 0 when unknown.
char firstLetter(const std::string& reading) {
    if (reading.empty())
        return 0;
    const auto c0 = static_cast<unsigned char>(reading[0]);
    if (c0 >= 'a' && c0 <= 'z')
        return static_cast<char>(c0);
    if (c0 >= 'A' && c0 <= 'Z')
        return static_cast<char>(c0 - 'A' + 'a');
    // A reading may start with a toned vowel (or ḿ, ń, ň, ǹ): decode one UTF-8 code point.
    uint32_t cp = 0;
    if ((c0 & 0xE0) == 0xC0 && reading.size() >= 2)
        cp = ((c0 & 0x1Fu) << 6) | (static_cast<unsigned char>(reading[1]) & 0x3Fu);
    else if ((c0 & 0xF0) == 0xE0 && reading.size() >= 3)
        cp = ((c0 & 0x0Fu) << 12) | ((static_cast<unsigned char>(reading[1]) & 0x3Fu) << 6) |
             (static_cast<unsigned char>(reading[2]) & 0x3Fu);
    static const std::map<uint32_t, char> toned = {
        {0x0101, 'a'}, {0x00E1, 'a'}, {0x01CE, 'a'}, {0x00E0, 'a'}, {0x0113, 'e'}, {0x00E9, 'e'}, {0x011B, 'e'},
        {0x00E8, 'e'}, {0x00EA, 'e'}, {0x1EBF, 'e'}, {0x1EC1, 'e'}, {0x012B, 'i'}, {0x00ED, 'i'}, {0x01D0, 'i'},
        {0x00EC, 'i'}, {0x014D, 'o'}, {0x00F3, 'o'}, {0x01D2, 'o'}, {0x00F2, 'o'}, {0x016B, 'u'}, {0x00FA, 'u'},
        {0x01D4, 'u'}, {0x00F9, 'u'}, {0x00FC, 'u'}, {0x01D6, 'u'}, {0x01D8, 'u'}, {0x01DA, 'u'}, {0x01DC, 'u'},
        {0x1E3F, 'm'}, {0x0144, 'n'}, {0x0148, 'n'}, {0x01F9, 'n'}};
    const auto it = toned.find(cp);
    return it == toned.end() ? 0 : it->second;
}

// Every reading in one field value, whatever the field's own layout:
//   kMandarin "chà chā", kHanyuPinlu "lè(283) yuè(54)", kXHC1983 "0683.040:lè 1430.060:yuè",
//   kTGHZ2013 "036.140:chán 064.090:dān", kHanyuPinyin "10109.030:qiú,chóu,jū".
uint32_t lettersOf(const std::string& value) {
    uint32_t mask = 0;
    std::istringstream items(value);
    std::string item;
    while (items >> item) {
        const size_t colon = item.rfind(':');
        if (colon != std::string::npos)
            item = item.substr(colon + 1);
        const size_t paren = item.find('(');
        if (paren != std::string::npos)
            item = item.substr(0, paren);
        std::istringstream readings(item);
        std::string reading;
        while (std::getline(readings, reading, ',')) {
            if (const char letter = firstLetter(reading))
                mask |= 1u << (letter - 'a');
        }
    }
    return mask;
}

int letterCount(uint32_t mask) {
    return __builtin_popcount(mask);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " Unihan_Readings.txt.bz2 output.cpp\n";
        return 2;
    }
    std::string text;
    if (!readBzip2(argv[1], text)) {
        std::cerr << argv[0] << ": cannot read " << argv[1] << " (Debian package unicode-data)\n";
        return 1;
    }

    std::map<uint32_t, Readings> characters;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 3 || line[0] != 'U' || line[1] != '+')
            continue;
        const size_t tab1 = line.find('\t');
        const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos)
            continue;
        const std::string field = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const std::string value = line.substr(tab2 + 1);
        const bool modern =
            field == "kMandarin" || field == "kHanyuPinlu" || field == "kXHC1983" || field == "kTGHZ2013";
        if (!modern && field != "kHanyuPinyin")
            continue;
        const auto codepoint = static_cast<uint32_t>(std::stoul(line.substr(2, tab1 - 2), nullptr, 16));
        Readings& r = characters[codepoint];
        if (modern) {
            r.modern |= lettersOf(value);
            r.hasModern = r.hasModern || field != "kMandarin";
        } else {
            r.archaic |= lettersOf(value);
        }
    }
    if (characters.size() < 20000) {
        std::cerr << argv[0] << ": " << argv[1] << " holds too few readings (" << characters.size() << ")\n";
        return 1;
    }

    std::ostringstream out;
    out << "// Generated at build time by zinteva_polyphone_gen from Unihan_Readings.txt. Do not edit.\n"
           "#include \"core/text/Polyphones.h\"\n\n"
           "namespace pinyin::detail {\n\n"
           "const PolyphoneEntry polyphoneTable[] = {\n";
    size_t count = 0;
    for (const auto& [codepoint, r] : characters) {
        // kMandarin alone names only the most common reading(s); a character known to kMandarin
        // and to no dictionary source takes kHanyuPinyin's readings as well.
        const uint32_t mask = r.hasModern ? r.modern : (r.modern | r.archaic);
        if (letterCount(mask) < 2)
            continue;
        out << "    {0x" << std::hex << codepoint << ", 0x" << mask << std::dec << "},\n";
        ++count;
    }
    out << "};\n\nconst std::size_t polyphoneTableSize = " << count << ";\n\n} // namespace pinyin::detail\n";

    const std::string generated = out.str();
    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file << generated;
    file.close();
    if (!file) {
        std::cerr << argv[0] << ": cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
