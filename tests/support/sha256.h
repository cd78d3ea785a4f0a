// sha256.h -- SHA-256 of a byte string, as lower-case hex, for checking archives against known
// digests.

#pragma once

#include <string>

#include "support/test_support.h"

std::string sha256_hex(const Bytes& bytes);
