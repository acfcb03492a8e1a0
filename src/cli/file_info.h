// "zepcon-cli info": what a file holds once loaded and fixed.
#pragma once

#include <string>

#include "core/conversion_settings.h"

namespace zepcon {

class FileConverter;

// Prints the file's type and kind and, per kind, what is known of its
// content; exit status 0, or 1 when it cannot be loaded.
int PrintFileInfo(FileConverter& converter, const OptionsRecord& options, const std::string& path);

}  // namespace zepcon
