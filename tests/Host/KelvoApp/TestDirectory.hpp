#pragma once

#include "tests/support/TemporaryDirectory.hpp"

namespace kelvo::app::test {

using TestDirectory = kelvo::test::TemporaryDirectory;

}  // namespace kelvo::app::test
