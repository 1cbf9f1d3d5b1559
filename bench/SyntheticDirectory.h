#pragma once
// A directory of made-up people for benchmarks and screenshots: realistic Chinese names, 20 groups
// of uneven size, about 60% with birthdays, the other fields filled as a real directory would be.
// Seeded, so every run writes the same data.
#include <QString>
#include <cstdint>

class Store;

void fillSyntheticDirectory(Store& store, int contacts, uint32_t seed = 20261207);
