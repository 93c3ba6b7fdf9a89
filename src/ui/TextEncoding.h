// Module texts are Latin-1 bytes (after the readers' conversion); the views take UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tarvex {

std::string latin1ToUtf8(std::string_view latin1);

}  // namespace tarvex
