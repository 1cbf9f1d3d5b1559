#pragma once
// How the data file is opened. The program opens it read-write through SQLite's default VFS; a test
// may name a registered fault-injecting VFS or ask for a read-only connection.
struct OpenOptions {
    const char* vfs = nullptr;
    bool readOnly = false;
};
