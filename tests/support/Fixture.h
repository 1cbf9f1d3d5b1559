#pragma once
// The store fixture (support/StoreFixture.h) with the main window on top: a test of a window.
#include "support/StoreFixture.h"

#include <memory>

class Frm_main;

class Fixture : public StoreFixture {
public:
    explicit Fixture(QDate today = QDate(2025, 3, 10));
    ~Fixture() override;

    // A main window with the load step run (the start-up reminder off unless asked for).
    Frm_main& window(bool remindAtStart = false);
    Frm_main* existingWindow() const { return window_.get(); }
    void closeWindow();

private:
    std::unique_ptr<Frm_main> window_;
};
