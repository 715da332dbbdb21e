#pragma once

#include "Platform/Views/Color.hpp"

/// The brand colours, each made once on first use and then shared.
namespace kelvo::KelvoPalette {

/// Hex EC84FF.
const platform::views::Color& pink();
/// Hex 2C1338.
const platform::views::Color& aubergine();
/// The widget's background: hex 1F0E28 in dark appearance, white otherwise.
const platform::views::Color& background();

}  // namespace kelvo::KelvoPalette
