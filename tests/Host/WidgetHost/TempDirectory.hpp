#pragma once

#include "tests/support/TemporaryDirectory.hpp"

using TempDirectory = kelvo::test::TemporaryDirectory;
