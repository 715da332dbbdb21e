#pragma once

#include "tests/support/TemporaryDirectory.hpp"

namespace kelvo::app::test {

using TestDirectory = platform::test::TemporaryDirectory;

}  // namespace kelvo::app::test
