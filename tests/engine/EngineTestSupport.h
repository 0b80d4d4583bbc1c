#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "engine/Main.h"
#include "foundation/CompatChecker.h"
#include "platform/Prompt.h"
#include "tests/support/PromptScope.h"
#include "tools/drivesim/DriveSim.h"

namespace enginetest {

// A copy of the engine's description tree in a temporary folder, made the only
// configuration-file source for the time of a test.
class DescriptionTree {
  public:
    DescriptionTree();
    ~DescriptionTree();
    DescriptionTree(const DescriptionTree&) = delete;
    DescriptionTree& operator=(const DescriptionTree&) = delete;

    const std::filesystem::path& Root() const { return root_; }

  private:
    std::filesystem::path root_;
};

// Registers (or removes) a pseudo-terminal in the user-scope serial port list.
void RegisterPort(const std::string& valueName, const std::string& path);
void UnregisterPort(const std::string& valueName);

// Slave 1: the drive of "2_1.xml", identified from its legacy registers.
void SetupLegacyDrive(drivesim::SimDrive& drive, bool wordSwap = false);
// Slave 2: the drive of "3_2_1_0.xml", identified from its identity texts.
void SetupDescribedDrive(drivesim::SimDrive& drive);

// Bytes of the domain behind the "Block" cell.
std::string BlockText();

// The index of the channel with that name, -1 when none.
int FindChannel(engine::CMain& engine, const std::string& name);

// A prompt service that answers every question with its default and records it.
using platformtest::PromptScope;

}  // namespace enginetest
