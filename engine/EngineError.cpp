#include "engine/EngineError.h"

#include "platform/CodePage.h"

namespace engine {

void CEngineError::Clear() {
    std::lock_guard lock(mutex_);
    pair_.Clear();
}

int CEngineError::Record(int code, const std::string& text) {
    return Store(code, &text);
}

int CEngineError::RecordCode(int code) {
    return Store(code, nullptr);
}

int CEngineError::Store(int code, const std::string* text) {
    std::lock_guard lock(mutex_);
    pair_.code = code;
    if (text) pair_.text = text->substr(0, platform::Utf8SafeCut(*text, kMaxText));
    return code;
}

int CEngineError::Code() const {
    std::lock_guard lock(mutex_);
    return pair_.code;
}

std::string CEngineError::Text() const {
    std::lock_guard lock(mutex_);
    return pair_.text;
}

}  // namespace engine
