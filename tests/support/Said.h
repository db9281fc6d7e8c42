// Whether a status says done; when not, its finding's text in `error`, for messages and checks.
// Shared by the tests and the fuzz targets, which replay in the tests too.
#pragma once

#include <string>

#include "TextFile.h"

namespace test {

inline bool Said(const text::Status& status, std::string& error)
{
    error = status ? std::string() : status.Error().Text();
    return static_cast<bool>(status);
}

}  // namespace test
