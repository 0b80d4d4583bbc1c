#pragma once
// The fieldbus channels' client libraries in the program folder of a description tree, and the
// description of the described drive with fieldbus addresses.

#include <filesystem>
#include <string>

#include "tests/engine/EngineTestSupport.h"

namespace enginetest {

// Links the library into the tree's program folder under the name the engine loads.
inline void PutInProgramFolder(const DescriptionTree& tree, const char* built, const char* name) {
    std::error_code ec;
    std::filesystem::create_symlink(built, tree.Root() / "program" / name, ec);
}

// "3_2_1_0.xml" with CANopen addresses on its items replaces the plain one.
inline void UseFieldbusDescription(const DescriptionTree& tree) {
    std::filesystem::copy_file(std::filesystem::path(TUNOVA_FIXTURES) / "engine" / "fieldbus" / "3_2_1_0.xml",
                               tree.Root() / "tree" / "3_2_1_0.xml",
                               std::filesystem::copy_options::overwrite_existing);
}

}  // namespace enginetest
