#include "platform/Prompt.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<PromptService*> g_service{nullptr};

// Without a window layer nobody can answer: every question is cancelled.
ScriptedPrompts& Fallback() {
    static ScriptedPrompts* fallback = new ScriptedPrompts;
    return *fallback;
}

}  // namespace

void SetPromptService(PromptService* service) {
    g_service = service;
}

PromptService& Prompts() {
    PromptService* service = g_service.load();
    return service ? *service : Fallback();
}

void ScriptedPrompts::PushAnswer(int answer, int selection) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(Answer{answer, selection});
}

void ScriptedPrompts::SetDefaultAnswer(int answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    default_ = answer;
}

std::vector<ScriptedPrompts::Question> ScriptedPrompts::Asked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_;
}

size_t ScriptedPrompts::AskedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_.size();
}

size_t ScriptedPrompts::PendingAnswers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_.size();
}

void ScriptedPrompts::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.clear();
    asked_.clear();
}

ScriptedPrompts::Answer ScriptedPrompts::Next() {
    if (answers_.empty()) return Answer{default_, -1};
    const Answer a = answers_.front();
    answers_.pop_front();
    return a;
}

int ScriptedPrompts::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The fallback service is shared by the whole process: keep its record bounded.
    if (this == &Fallback() && asked_.size() >= 100) asked_.erase(asked_.begin());
    asked_.push_back(Question{"MessageBox", text, caption, flags, {}});
    return Next().answer;
}

int ScriptedPrompts::Custom(const std::string& kind, const std::vector<std::string>& args, int* selection) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (this == &Fallback() && asked_.size() >= 100) asked_.erase(asked_.begin());
    asked_.push_back(Question{kind, {}, {}, 0, args});
    const Answer a = Next();
    if (selection && a.selection >= 0) *selection = a.selection;
    return a.answer;
}

}  // namespace platform
