#pragma once
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>
#include <wx/frame.h>

#include "drive/Qd.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/ui/Gui.h"

inline std::filesystem::path AppArtifacts() {
    return std::filesystem::path(TUNOVA_BINARY_DIR) / "artifacts" / "app";
}

// A registry store of the test's own in a fresh temporary folder.
class TempRegistry {
  public:
    explicit TempRegistry(const std::string& name) {
        dir = std::filesystem::temp_directory_path() /
              ("tunova-app-" + name + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        registry = std::make_unique<platform::Registry>(dir / "machine", dir / "user");
    }
    ~TempRegistry() { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    std::unique_ptr<platform::Registry> registry;
};

// A frame to hold the main dialog, scripted prompts, the program's data folder (the built-in error
// list) and a drive object without a connection.
class MainDlgFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetPromptService(&prompts);
        setenv("TUNOVA_DATA_DIR",
               (std::filesystem::path(TUNOVA_FIXTURES).parent_path().parent_path() / "app").c_str(), 1);
        frame = new wxFrame(nullptr, wxID_ANY, "Main dialog", wxDefaultPosition, wxSize(1100, 640));
    }
    void TearDown() override {
        frame->Destroy();
        platform::ui::ProcessPending();
        platform::SetPromptService(nullptr);
        unsetenv("TUNOVA_DATA_DIR");
    }
    platform::ScriptedPrompts prompts;
    wxFrame* frame = nullptr;
    drive::CQd qd{0};
};
