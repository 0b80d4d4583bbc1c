#pragma once

#include "platform/Prompt.h"

namespace platformtest {

// Scripted answers for every question asked while the scope lives.
class PromptScope {
  public:
    PromptScope() { platform::SetPromptService(&prompts_); }
    ~PromptScope() { platform::SetPromptService(nullptr); }
    PromptScope(const PromptScope&) = delete;
    PromptScope& operator=(const PromptScope&) = delete;
    platform::ScriptedPrompts& Prompts() { return prompts_; }

  private:
    platform::ScriptedPrompts prompts_;
};

}  // namespace platformtest
