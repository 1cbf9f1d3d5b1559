#pragma once
// The session under the name the windows have long used (core/rules/DirectorySession.h).
#include "core/rules/DirectorySession.h"
