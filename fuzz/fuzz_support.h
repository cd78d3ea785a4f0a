// fuzz_support.h -- a private scratch folder for a fuzz target and whole-file helpers.

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A folder of this process's own, made on first use, ending with "/".
const std::string& fuzz_folder();

bool write_whole_file(const std::string& path, const uint8_t* data, size_t size);
bool read_whole_file(const std::string& path, std::string* content);
