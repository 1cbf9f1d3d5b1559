#pragma once
// A directory of made-up people for benchmarks and screenshots, shaped like a real one: 23 groups of
// uneven size, Chinese names (a few compound surnames), about 60% with birthdays, full street
// addresses, fax, ICQ and MSN where an older directory has them, and a photo path for one in
// twenty. Seeded, so every run writes the same data. Rows are written straight into the tables
// (one transaction); the pinyin keys are then built as the program builds them, unless the file
// is to look like one from before those keys existed.
#include <QString>
#include <cstdint>

class Store;

struct SyntheticOptions {
    uint32_t seed = 20261207;
    bool pinyinKeys = true;
};

void fillSyntheticDirectory(Store& store, int contacts, const SyntheticOptions& options = {});
