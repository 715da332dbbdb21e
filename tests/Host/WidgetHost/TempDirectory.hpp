#pragma once

#include "tests/support/TemporaryDirectory.hpp"

using TempDirectory = platform::test::TemporaryDirectory;
