// The fuzz targets' entry points. Each is built twice: for libFuzzer, and into a test that
// replays the committed corpus and regressions in every build.
#pragma once

#include <cstddef>
#include <cstdint>

// A settings file read by the stand-in host and handed to the loaded plug-in, which then scans
// vehicles of the presets it listed.
int Fuzz_Settings(const std::uint8_t* data, std::size_t size);
// A scenario parsed by the simulator.
int Fuzz_Scenario(const std::uint8_t* data, std::size_t size);
// Operations on the string hash table decoded from the input, checked against a model.
int Fuzz_Table(const std::uint8_t* data, std::size_t size);
